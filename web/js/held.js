import { post, isOk, errorText } from './api.js';
import { el, icon } from './dom.js';

// Messages held by Twitch AutoMod, each with Allow and Deny, in a queue above
// the send box; and the one-line AutoMod status ("AutoMod connected", or why
// it is not). A decision goes to "/api/automod"; the card closes once Twitch
// reports the message resolved (by anyone) or the request succeeded.

const MAX_HELD = 30;
const RESOLVED_LINGER_MS = 6000;

function text(value) {
	return typeof value === 'string' ? value : '';
}

export class HeldQueue {
	constructor(container) {
		this.box = container;
		this.cards = new Map(); // id -> node
		this.box.hidden = true;
	}

	apply(held) {
		if (!held || typeof held !== 'object') return;
		const id = text(held.id);
		if (!id) return;
		if (held.resolved === true) {
			const card = this.cards.get(id);
			if (card) this.resolve(card, held.approved === true ? 'Allowed' : 'Denied');
			return;
		}
		if (this.cards.has(id)) return;
		const card = this.card(id, held);
		this.cards.set(id, card);
		this.box.append(card);
		while (this.cards.size > MAX_HELD) this.drop(this.cards.keys().next().value);
		this.box.hidden = false;
	}

	card(id, held) {
		const card = el('div', 'held-item');
		card.dataset.id = id;
		const reason = text(held.reason) === 'blocked_term' ? 'Blocked term' : 'AutoMod';
		const category = text(held.category);
		const head = el('div', 'held-head');
		head.append(icon('shield', 'icon held-icon'), el('span', 'held-label', `Held · ${reason}`));
		if (category) head.append(el('span', 'held-category', category));

		const body = el('div', 'held-body');
		body.append(el('span', 'name', text(held.name) || 'Unknown'), el('span', 'sep', ': '), el('span', 'text', text(held.text)));

		const actions = el('div', 'held-actions');
		const allow = el('button', 'btn btn-ok held-allow', 'Allow');
		const deny = el('button', 'btn btn-bad held-deny', 'Deny');
		allow.type = deny.type = 'button';
		const note = el('span', 'held-note');
		note.setAttribute('role', 'status');
		allow.addEventListener('click', () => this.decide(card, 'allow'));
		deny.addEventListener('click', () => this.decide(card, 'deny'));
		actions.append(allow, deny, note);
		card.append(head, body, actions);
		return card;
	}

	async decide(card, action) {
		const buttons = card.querySelectorAll('.held-actions .btn');
		const note = card.querySelector('.held-note');
		for (const b of buttons) b.disabled = true;
		note.textContent = '';
		delete note.dataset.kind;
		const reply = await post('automod', { action, id: card.dataset.id });
		if (isOk(reply)) {
			this.resolve(card, action === 'allow' ? 'Allowed' : 'Denied');
			return;
		}
		for (const b of buttons) b.disabled = false;
		note.textContent = errorText(reply);
		note.dataset.kind = 'error';
	}

	resolve(card, outcome) {
		if (card.classList.contains('resolved')) return;
		card.classList.add('resolved', outcome === 'Allowed' ? 'allowed' : 'denied');
		card.querySelector('.held-actions').replaceChildren(el('span', 'held-outcome', outcome));
		setTimeout(() => this.drop(card.dataset.id), RESOLVED_LINGER_MS);
	}

	drop(id) {
		const card = this.cards.get(id);
		if (card) card.remove();
		this.cards.delete(id);
		this.box.hidden = this.cards.size === 0;
	}
}

// {"detail": text}
export class AutomodLine {
	constructor(node) {
		this.node = node;
		this.node.hidden = true;
	}

	apply(update) {
		const detail = update && typeof update === 'object' ? text(update.detail) : '';
		this.node.hidden = !detail;
		this.node.textContent = detail;
		this.node.dataset.kind = detail === 'AutoMod connected' ? 'ok' : 'warn';
		this.node.title = detail;
	}
}
