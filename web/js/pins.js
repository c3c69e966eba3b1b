import { el, icon } from './dom.js';
import { pinnedMessage } from './describe.js';

// The channel's pinned chat message as a bar above the chat. The bar can be
// closed; it comes back when another message is pinned. Long texts show two
// lines until clicked.

export class PinBar {
	constructor(node) {
		this.node = node;
		this.current = null;
		this.dismissedId = null;
		this.node.hidden = true;
	}

	apply(payload) {
		const pin = pinnedMessage(payload);
		this.current = pin;
		if (!pin || pin.id === this.dismissedId) {
			this.node.hidden = true;
			this.node.replaceChildren();
			return;
		}
		this.dismissedId = null;
		const text = el('div', 'pin-text');
		if (pin.name) text.append(el('span', 'pin-name', pin.name), el('span', 'sep', ': '));
		text.append(document.createTextNode(pin.text));
		text.title = pin.by ? `Pinned by ${pin.by}` : 'Pinned message';
		text.addEventListener('click', () => text.classList.toggle('open'));
		const close = el('button', 'pin-close');
		close.type = 'button';
		close.title = 'Hide';
		close.setAttribute('aria-label', 'Hide pinned message');
		close.append(icon('close'));
		close.addEventListener('click', () => {
			this.dismissedId = pin.id;
			this.node.hidden = true;
		});
		this.node.replaceChildren(icon('pin', 'icon pin-icon'), text, close);
		this.node.hidden = false;
	}
}
