// One status line under a tool panel: what the last action did, or why it
// failed. Successes fade after a few seconds; errors stay until the next
// action.
export class Feedback {
	constructor(node, { okMs = 5000 } = {}) {
		this.node = node;
		this.okMs = okMs;
		this.timer = 0;
		node.setAttribute('role', 'status');
		node.setAttribute('aria-live', 'polite');
	}

	say(text, kind = 'ok') {
		clearTimeout(this.timer);
		this.node.textContent = text;
		this.node.dataset.kind = kind;
		if (kind !== 'error' && text) this.timer = setTimeout(() => (this.node.textContent = ''), this.okMs);
	}
}
