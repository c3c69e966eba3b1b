import { el } from './dom.js';
import { ModControls } from './moderation.js';

// The actions of the chat line the streamer clicked, shown under that line
// (one line at a time): reply (Twitch lines; the send box takes it), then the
// moderation buttons. The strip lives inside the line, so it goes away with
// the line when the chat drops old lines. A click on a line also starts a
// reply to it; once the message or its author is removed, that reply is
// dropped again, so the next message does not go out as an answer to it.

export class LineActions {
	constructor({ onReply, onRemoved }) {
		this.onReply = onReply;
		this.onRemoved = onRemoved;
		this.line = null;
		this.strip = null;
	}

	isOpenOn(line) {
		return this.line === line && !!this.strip && this.strip.isConnected;
	}

	open(line) {
		if (this.isOpenOn(line)) return;
		this.close();
		const platform = line.dataset.platform || 'twitch';
		const target = {
			platform,
			messageId: line.dataset.id || '',
			userId: line.dataset.userId || '',
			name: line.dataset.name || '',
		};
		const strip = el('div', 'line-actions');
		strip.setAttribute('role', 'group');
		strip.setAttribute('aria-label', `Actions for the message of ${target.name || 'this user'}`);
		const controls = new ModControls(target, {
			onDone: (action) => ['delete', 'timeout', 'ban'].includes(action) && this.onRemoved(target.messageId),
		});
		const buttons = controls.node.querySelector('.mod-buttons');
		if (platform === 'twitch' && target.messageId) {
			const reply = el('button', 'btn mod-reply', 'Reply');
			reply.type = 'button';
			reply.addEventListener('click', () => this.onReply(target.messageId, target.name));
			buttons.prepend(reply);
		}
		const close = el('button', 'line-actions-close', '×');
		close.type = 'button';
		close.title = 'Close';
		close.setAttribute('aria-label', 'Close the message actions');
		close.addEventListener('click', () => this.close());
		buttons.append(close);
		strip.append(controls.node);
		line.classList.add('selected');
		line.append(strip);
		strip.scrollIntoView({ block: 'nearest' });
		this.line = line;
		this.strip = strip;
	}

	close() {
		if (this.strip) this.strip.remove();
		if (this.line) this.line.classList.remove('selected');
		this.line = null;
		this.strip = null;
	}
}
