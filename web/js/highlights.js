import { el, icon } from './dom.js';
import { describeHighlight } from './describe.js';

// The running poll, prediction and hype train as cards above the chat, one
// per kind. "highlight" events replace a kind's card; an ".end" event shows
// the result for a while and then the card goes. Countdowns tick once a
// second while a card is open. A card closed with × stays away until an
// event of a new poll, prediction or train of that kind arrives.

const ENDED_LINGER_MS = 45000;

export class HighlightCards {
	constructor(container, { now = () => Date.now() } = {}) {
		this.box = container;
		this.now = now;
		this.cards = new Map(); // kind -> {node, payload, removeAt, eventId}
		this.dismissed = new Map(); // kind -> event id
		this.timer = 0;
	}

	apply(payload) {
		const view = describeHighlight(payload, this.now());
		if (!view) return;
		const eventId = typeof payload.event?.id === 'string' ? payload.event.id : '';
		if (this.dismissed.has(view.kind) && this.dismissed.get(view.kind) === eventId) return;
		this.dismissed.delete(view.kind);
		let card = this.cards.get(view.kind);
		if (!card) {
			card = { node: el('section', 'hl-card hl-' + view.kind) };
			card.node.dataset.kind = view.kind;
			this.cards.set(view.kind, card);
			this.box.append(card.node);
		}
		card.payload = payload;
		card.eventId = eventId;
		card.removeAt = view.ended ? this.now() + ENDED_LINGER_MS : 0;
		this.render(card, view);
		this.box.hidden = this.cards.size === 0;
		this.schedule();
	}

	render(card, view) {
		const node = card.node;
		node.classList.toggle('ended', view.ended);
		const head = el('div', 'hl-head');
		const close = el('button', 'hl-close');
		close.type = 'button';
		close.title = 'Hide';
		close.setAttribute('aria-label', 'Hide');
		close.append(icon('close'));
		close.addEventListener('click', () => this.dismiss(view.kind));
		head.append(icon(view.kind, 'icon hl-icon'), el('span', 'hl-status', view.status), close);

		const rows = el('ol', 'hl-rows');
		for (const row of view.rows) {
			const item = el('li', 'hl-row');
			if (row.winner) item.classList.add('winner');
			if (row.color) item.dataset.color = row.color;
			item.style.setProperty('--share', `${Math.round(row.share * 1000) / 10}%`);
			const percent = view.kind === 'hype_train' ? '' : ` · ${Math.round(row.share * 100)}%`;
			item.append(el('span', 'hl-label', row.label), el('span', 'hl-value', row.text + percent));
			item.title = `${row.label}: ${row.text}${percent}`;
			rows.append(item);
		}
		node.replaceChildren(head, el('div', 'hl-title', view.title));
		if (view.rows.length) node.append(rows);
		if (view.detail) node.append(el('div', 'hl-detail', view.detail));
	}

	dismiss(kind) {
		const card = this.cards.get(kind);
		if (!card) return;
		// An ended card is gone for good; a running one until its next round.
		if (!card.removeAt) this.dismissed.set(kind, card.eventId);
		this.remove(kind);
	}

	remove(kind) {
		const card = this.cards.get(kind);
		if (!card) return;
		card.node.remove();
		this.cards.delete(kind);
		this.box.hidden = this.cards.size === 0;
	}

	// Only the time left changes between events; the rest of the card (and
	// its close button, which may be under the pointer) stays as it is.
	countdown(card, now) {
		const view = describeHighlight(card.payload, now);
		const status = card.node.querySelector('.hl-status');
		if (view && status && status.textContent !== view.status) status.textContent = view.status;
	}

	// A stream that opens again re-sends what is still running; a running
	// card from before may have ended while the page was away, so it goes and
	// comes back only if the server still has it. Results stay.
	forgetRunning() {
		for (const [kind, card] of [...this.cards]) if (!card.removeAt) this.remove(kind);
	}

	schedule() {
		if (this.timer || this.cards.size === 0) return;
		this.timer = setInterval(() => this.tick(), 1000);
	}

	tick() {
		const now = this.now();
		for (const [kind, card] of [...this.cards]) {
			if (card.removeAt && now >= card.removeAt) this.remove(kind);
			else if (!card.removeAt) this.countdown(card, now);
		}
		if (this.cards.size === 0) {
			clearInterval(this.timer);
			this.timer = 0;
		}
	}
}
