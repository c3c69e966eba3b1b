import { el } from './dom.js';

// Find and follow in the chat dock: a bar above the chat (opened with its
// button or Ctrl+F) whose box filters the lines by text or name, "@name"
// (or a name clicked while the bar is open) showing one user's lines, and a
// "Mentions" switch that shows only highlighted lines. Lines are only
// hidden, never dropped: closing the bar shows the live chat again with
// everything that came in meanwhile, within the list's bound.

function lower(value) {
	return typeof value === 'string' ? value.trim().toLowerCase() : '';
}

export class ChatFilter {
	constructor(bar, list, { button = null } = {}) {
		this.bar = bar;
		this.list = list;
		this.box = list.box;
		this.button = button;
		this.query = '';
		this.mentions = false;

		this.input = el('input', 'find-input');
		this.input.type = 'search';
		this.input.placeholder = 'Find text or @user';
		this.input.setAttribute('aria-label', 'Find in chat');
		this.input.maxLength = 100;
		this.mentionButton = el('button', 'btn find-mentions', 'Mentions');
		this.mentionButton.type = 'button';
		this.mentionButton.setAttribute('aria-pressed', 'false');
		this.mentionButton.title = 'Only lines that mention you or a highlight word';
		const close = el('button', 'btn btn-icon find-close', '×');
		close.type = 'button';
		close.title = 'Back to the live chat';
		close.setAttribute('aria-label', 'Back to the live chat');
		this.bar.append(this.input, this.mentionButton, close);

		this.input.addEventListener('input', () => this.set(this.input.value, this.mentions));
		this.input.addEventListener('keydown', (event) => {
			if (event.key !== 'Escape') return;
			event.preventDefault();
			this.close();
		});
		this.mentionButton.addEventListener('click', () => this.set(this.input.value, !this.mentions));
		close.addEventListener('click', () => this.close());
		if (button) button.addEventListener('click', () => (this.isOpen ? this.close() : this.open()));
		document.addEventListener('keydown', (event) => {
			if ((event.ctrlKey || event.metaKey) && !event.altKey && event.key.toLowerCase() === 'f') {
				event.preventDefault();
				this.open();
			}
		});
	}

	get isOpen() {
		return !this.bar.hidden;
	}

	get active() {
		return this.query !== '' || this.mentions;
	}

	open() {
		this.bar.hidden = false;
		if (this.button) this.button.setAttribute('aria-expanded', 'true');
		this.input.focus();
		this.input.select();
	}

	close() {
		this.bar.hidden = true;
		if (this.button) this.button.setAttribute('aria-expanded', 'false');
		this.input.value = '';
		this.set('', false);
		this.list.showNewest();
	}

	// Shows only `name`'s lines (a clicked name).
	follow(name) {
		this.open();
		this.input.value = '@' + name;
		this.set(this.input.value, this.mentions);
	}

	set(query, mentions) {
		this.query = lower(query);
		this.mentions = mentions;
		this.mentionButton.setAttribute('aria-pressed', String(mentions));
		this.mentionButton.classList.toggle('on', mentions);
		this.box.classList.toggle('filtering', this.active);
		for (const node of this.list.items()) this.apply(node);
		this.list.showNewest();
	}

	matches(node) {
		if (this.mentions && !node.classList.contains('mention')) return false;
		if (!this.query) return true;
		const nameNode = node.querySelector('.name');
		const name = lower(node.dataset.name || (nameNode ? nameNode.textContent : ''));
		if (this.query[0] === '@') return name !== '' && name === this.query.slice(1);
		return name.includes(this.query) || lower(node.textContent).includes(this.query);
	}

	// Called for each new line, and for all of them when the filter changes.
	apply(node) {
		node.classList.toggle('filtered-out', this.active && !this.matches(node));
		return node;
	}
}
