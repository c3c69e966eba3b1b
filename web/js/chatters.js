import { post, errorText } from './api.js';
import { el } from './dom.js';
import { formatCount } from './format.js';

// Who is in the Twitch chat right now, by role, laid over the chat.
// "/api/chatters" answers {"broadcaster":name|null,"moderators":[..],
// "vips":[..],"bots":[..],"viewers":[..],"total":n}; each list is sorted.
// The list is read when opened and on demand, not kept live. A click on a
// name opens that user's card.

const ROLES = [
	{ key: 'broadcaster', label: 'Broadcaster' },
	{ key: 'moderators', label: 'Moderators' },
	{ key: 'vips', label: 'VIPs' },
	{ key: 'bots', label: 'Bots' },
	{ key: 'viewers', label: 'Viewers' },
];

const LOGIN = /^[A-Za-z0-9_]{1,25}$/;

function names(value) {
	return (Array.isArray(value) ? value : []).filter((n) => typeof n === 'string' && n !== '');
}

// {total, sections: [{key, label, names}]} (roles without anyone left out),
// or {error}.
export function chatterSections(reply) {
	if (!reply || typeof reply !== 'object') return { error: 'Unexpected reply' };
	if (reply.error) return { error: errorText(reply) };
	const sections = ROLES.map(({ key, label }) => ({
		key,
		label,
		names: key === 'broadcaster' ? names([reply.broadcaster]) : names(reply[key]),
	})).filter((s) => s.names.length);
	const counted = sections.reduce((sum, s) => sum + s.names.length, 0);
	const total = Number.isInteger(reply.total) && reply.total >= 0 ? reply.total : counted;
	return { total, sections };
}

// The sections with only the names that hold query (letter case ignored).
export function filterChatters(sections, query) {
	const q = query.trim().toLowerCase();
	if (!q) return sections;
	return sections
		.map((s) => ({ ...s, names: s.names.filter((n) => n.toLowerCase().includes(q)) }))
		.filter((s) => s.names.length);
}

// Who a listed name stands for, for the user card: Twitch lists display
// names, which are the login in other letter case unless they use other
// scripts; those cannot be looked up by name.
export function chatterTarget(name) {
	return LOGIN.test(name) ? { login: name.toLowerCase(), name } : null;
}

export class ChatterList {
	// host: the element the list is laid over; onPick({login, name});
	// button: the one that opens the list (told whether it is open).
	constructor(host, { onPick, button = null }) {
		this.onPick = onPick;
		this.button = button;
		this.view = null;
		this.request = 0;

		this.node = el('section', 'chatter-list');
		this.node.setAttribute('role', 'dialog');
		this.node.setAttribute('aria-label', 'Chatters');
		this.node.hidden = true;
		const head = el('div', 'panel-head');
		this.title = el('h2', 'cl-title', 'Chatters');
		const refresh = el('button', 'panel-refresh', '↻');
		refresh.type = 'button';
		refresh.title = 'Refresh';
		refresh.setAttribute('aria-label', 'Refresh the chatter list');
		refresh.addEventListener('click', () => this.load());
		const close = el('button', 'panel-close', '×');
		close.type = 'button';
		close.title = 'Close';
		close.setAttribute('aria-label', 'Close the chatter list');
		close.addEventListener('click', () => this.close());
		head.append(this.title, refresh, close);
		this.search = el('input', 'panel-search cl-search');
		this.search.type = 'search';
		this.search.placeholder = 'Search chatters';
		this.search.setAttribute('aria-label', 'Search chatters');
		this.search.addEventListener('input', () => this.render());
		this.body = el('div', 'cl-body');
		this.node.append(head, this.search, this.body);
		host.append(this.node);
	}

	get open() {
		return !this.node.hidden;
	}

	toggle() {
		if (this.open) this.close();
		else this.show();
	}

	show() {
		this.node.hidden = false;
		this.button?.setAttribute('aria-expanded', 'true');
		this.search.focus();
		this.load();
	}

	close() {
		this.request += 1;
		this.node.hidden = true;
		this.button?.setAttribute('aria-expanded', 'false');
	}

	async load() {
		const request = ++this.request;
		if (!this.view) this.status('Loading chatters…');
		this.node.dataset.state = 'loading';
		const view = chatterSections(await post('chatters'));
		if (request !== this.request) return;
		delete this.node.dataset.state;
		if (view.error) {
			this.view = null;
			this.title.textContent = 'Chatters';
			this.status(view.error, 'error');
			return;
		}
		this.view = view;
		this.title.textContent = `Chatters · ${formatCount(view.total)}`;
		this.render();
	}

	status(message, kind = '') {
		const line = el('p', 'panel-status', message);
		if (kind) line.dataset.kind = kind;
		this.body.replaceChildren(line);
	}

	render() {
		if (!this.view) return;
		if (!this.view.sections.length) {
			this.status('Nobody is in the chat.');
			return;
		}
		const shown = filterChatters(this.view.sections, this.search.value);
		if (!shown.length) {
			this.status('Nobody by that name.');
			return;
		}
		this.body.replaceChildren(...shown.map((s) => this.section(s)));
	}

	section({ key, label, names: list }) {
		const section = el('section', 'cl-role');
		section.dataset.role = key;
		const heading = el('h3', 'cl-role-title', label);
		if (key !== 'broadcaster') heading.append(el('span', 'cl-role-count', formatCount(list.length)));
		const items = el('ul', 'cl-names');
		for (const name of list) {
			const item = el('li');
			const who = chatterTarget(name);
			const button = el('button', 'cl-name', name);
			button.type = 'button';
			if (who) {
				button.title = `Open ${name}’s card`;
				button.addEventListener('click', () => this.onPick(who));
			} else {
				button.disabled = true;
				button.title = 'This name cannot be looked up; open the card from a chat line';
			}
			item.append(button);
			items.append(item);
		}
		section.append(heading, items);
		return section;
	}
}
