import { post, errorText } from './api.js';
import { el, feedImage } from './dom.js';

// The emote picker of the send box: every emote the connected account may
// use, grouped by the channel it belongs to ("/api/emotes" answers
// {"emotes":[{name,url,group}],"groups":[{name,avatar}]}, groups in the order
// to show). A click puts the emote's name into the send box at the caret;
// the picker stays open for more. The list is asked for once per account.

const MAX_MESSAGE = 500;

function text(value) {
	return typeof value === 'string' ? value : '';
}

// The groups to show, each with its emotes, or {error}. The plug-in names
// the channel's own group "channel" and Twitch's global one "globali".
export function emoteGroups(reply, channel = '') {
	if (!reply || typeof reply !== 'object') return { error: 'Unexpected reply' };
	if (reply.error) return { error: errorText(reply) };
	if (!Array.isArray(reply.emotes)) return { error: 'Unexpected reply' };
	const groups = new Map();
	const add = (key, avatar) => {
		if (!groups.has(key)) {
			const label = key === 'channel' ? channel || 'This channel' : key === 'globali' ? 'Twitch' : key;
			groups.set(key, { key, label, avatar, emotes: [] });
		}
		return groups.get(key);
	};
	for (const g of Array.isArray(reply.groups) ? reply.groups : []) {
		if (g && typeof g === 'object' && text(g.name)) add(g.name, text(g.avatar));
	}
	for (const e of reply.emotes) {
		if (!e || typeof e !== 'object' || !text(e.name) || !text(e.url)) continue;
		add(text(e.group) || 'globali', '').emotes.push({ name: e.name, url: e.url });
	}
	return { groups: [...groups.values()].filter((g) => g.emotes.length) };
}

// The groups with only the emotes whose name holds query (letter case
// ignored); groups left empty are dropped.
export function filterEmotes(groups, query) {
	const q = query.trim().toLowerCase();
	if (!q) return groups;
	return groups
		.map((g) => ({ ...g, emotes: g.emotes.filter((e) => e.name.toLowerCase().includes(q)) }))
		.filter((g) => g.emotes.length);
}

// The send box's text with name put in place of the selection, set apart
// from its neighbours by spaces, and where the caret goes next; null
// when the message would grow past what Twitch accepts.
export function insertEmote(value, start, end, name, max = MAX_MESSAGE) {
	const before = value.slice(0, start);
	const after = value.slice(end);
	const lead = before && !/\s$/.test(before) ? ' ' : '';
	const trail = /^\s/.test(after) ? '' : ' ';
	const next = before + lead + name + trail + after;
	if (next.length > max) return null;
	// The caret lands past the space after the name, old or new.
	return { value: next, caret: before.length + lead.length + name.length + 1 };
}

export class EmotePicker {
	// host: the element the panel is laid over; input: the send box;
	// button: the one that opens the panel (told whether it is open).
	constructor(host, input, button = null) {
		this.input = input;
		this.button = button;
		this.channel = '';
		this.groups = null;
		this.loading = null;

		this.node = el('section', 'emote-picker');
		this.node.setAttribute('role', 'dialog');
		this.node.setAttribute('aria-label', 'Emotes');
		this.node.hidden = true;
		const head = el('div', 'panel-head');
		this.search = el('input', 'panel-search');
		this.search.type = 'search';
		this.search.placeholder = 'Search emotes';
		this.search.setAttribute('aria-label', 'Search emotes');
		this.search.addEventListener('input', () => this.render());
		const close = el('button', 'panel-close', '×');
		close.type = 'button';
		close.title = 'Close';
		close.setAttribute('aria-label', 'Close the emote picker');
		close.addEventListener('click', () => this.close());
		head.append(this.search, close);
		this.body = el('div', 'ep-body');
		this.node.append(head, this.body);
		host.append(this.node);

		// Keeps the send box's selection while the pointer is on an emote.
		this.body.addEventListener('mousedown', (event) => event.target.closest('.ep-emote') && event.preventDefault());
	}

	get open() {
		return !this.node.hidden;
	}

	// The Twitch channel (for the channel group's label).
	setChannel(channel) {
		if (channel === this.channel) return;
		// Another channel has other emotes of its own.
		this.channel = channel;
		this.groups = null;
		this.loading = null;
		if (this.open) this.load();
	}

	// A new (or no) account: the list is asked for again next time.
	reset() {
		this.groups = null;
		this.loading = null; // an answer on its way belongs to the old one
		this.close();
	}

	toggle() {
		if (this.open) this.close();
		else this.show();
	}

	show() {
		this.node.hidden = false;
		this.button?.setAttribute('aria-expanded', 'true');
		if (this.groups) this.render();
		else this.load();
		this.search.focus();
	}

	close() {
		this.node.hidden = true;
		this.button?.setAttribute('aria-expanded', 'false');
	}

	async load() {
		const request = {};
		this.loading = request;
		this.status('Loading emotes…');
		const view = emoteGroups(await post('emotes'), this.channel);
		if (this.loading !== request) return;
		this.loading = null;
		if (view.error) {
			const retry = el('button', 'btn panel-retry', 'Try again');
			retry.type = 'button';
			retry.addEventListener('click', () => this.load());
			this.status(view.error, 'error', retry);
			return;
		}
		this.groups = view.groups;
		this.render();
	}

	status(message, kind = '', ...extra) {
		const line = el('p', 'panel-status', message);
		if (kind) line.dataset.kind = kind;
		this.body.replaceChildren(line, ...extra);
	}

	render() {
		if (!this.groups) return;
		if (!this.groups.length) {
			this.status('This account has no emotes to use.');
			return;
		}
		const shown = filterEmotes(this.groups, this.search.value);
		if (!shown.length) {
			this.status('No emote matches.');
			return;
		}
		const parts = [];
		for (const group of shown) {
			const section = el('section', 'ep-group');
			section.dataset.group = group.key;
			const title = el('h3', 'ep-group-title');
			const avatar = feedImage(group.avatar, 'ep-avatar', '');
			if (avatar) title.append(avatar);
			title.append(el('span', 'ep-group-name', group.label), el('span', 'ep-group-count', String(group.emotes.length)));
			const grid = el('div', 'ep-grid');
			for (const emote of group.emotes) grid.append(this.emoteButton(emote));
			section.append(title, grid);
			parts.push(section);
		}
		this.body.replaceChildren(...parts);
	}

	emoteButton(emote) {
		const button = el('button', 'ep-emote');
		button.type = 'button';
		button.title = emote.name;
		button.setAttribute('aria-label', emote.name);
		const img = feedImage(emote.url, 'ep-img', '');
		if (img) {
			img.loading = 'lazy';
			img.width = img.height = 28;
			button.append(img);
		} else {
			button.append(el('span', 'ep-name', emote.name));
		}
		button.addEventListener('click', () => this.insert(emote.name));
		return button;
	}

	insert(name) {
		const input = this.input;
		if (input.disabled) return;
		const start = input.selectionStart ?? input.value.length;
		const end = input.selectionEnd ?? start;
		const next = insertEmote(input.value, start, end, name, input.maxLength > 0 ? input.maxLength : MAX_MESSAGE);
		if (!next) return;
		input.value = next.value;
		input.focus();
		input.setSelectionRange(next.caret, next.caret);
	}
}
