import { post, isOk, errorText } from './api.js';

// The send box under the chat. Sending goes through the connected Twitch
// account, so the box stays disabled (with the reason shown) until the
// configuration reports an account. A reply to a line is sent with that
// line's id as "replyTo". Text starting with "/" is a chat command that the
// plug-in carries out; its answer (a notice or an error) is shown under the
// box.

const NO_ACCOUNT = 'Connect a Twitch account to chat from the dock';

export class Composer {
	constructor(form) {
		this.form = form;
		this.input = form.querySelector('input');
		this.button = form.querySelector('button[type="submit"]');
		this.note = form.querySelector('.composer-note');
		this.replyBar = form.querySelector('.composer-reply');
		this.replyLabel = form.querySelector('.composer-reply-label');
		this.replyCancel = form.querySelector('.composer-reply-cancel');
		this.replyTo = '';
		this.busy = false;
		this.enabled = false;
		this.noteTimer = 0;

		form.addEventListener('submit', (event) => {
			event.preventDefault();
			this.send();
		});
		this.replyCancel.addEventListener('click', () => this.setReply('', ''));
		this.setAccount(null);
	}

	// The "account" member of the configuration: null or {login, needsReauth}.
	setAccount(account) {
		this.enabled = !!(account && typeof account === 'object' && account.login);
		this.input.disabled = !this.enabled || this.busy;
		this.button.disabled = !this.enabled || this.busy;
		const hint = this.enabled ? `Send as ${account.login}` : NO_ACCOUNT;
		this.input.placeholder = this.enabled ? 'Send a message' : 'Needs a Twitch account';
		this.form.title = hint;
		if (!this.enabled) this.setReply('', '');
	}

	setReply(id, name) {
		this.replyTo = this.enabled ? id || '' : '';
		this.replyBar.hidden = !this.replyTo;
		this.replyLabel.textContent = this.replyTo ? `Replying to @${name}` : '';
		if (this.replyTo) this.input.focus();
	}

	showNote(text, kind) {
		clearTimeout(this.noteTimer);
		this.note.textContent = text;
		this.note.dataset.kind = kind;
		this.note.hidden = !text;
		if (text && kind !== 'error') this.noteTimer = setTimeout(() => this.showNote('', ''), 6000);
	}

	async send() {
		const text = this.input.value.trim();
		if (!this.enabled || this.busy || !text) return;
		this.busy = true;
		this.input.disabled = this.button.disabled = true;
		const reply = await post('send', { text, replyTo: this.replyTo });
		this.busy = false;
		this.input.disabled = this.button.disabled = !this.enabled;
		if (isOk(reply)) {
			this.input.value = '';
			this.setReply('', '');
			// A command that went through without a notice still says so;
			// a chat line shows itself when it comes back through the chat.
			const notice = typeof reply.notice === 'string' ? reply.notice : text.startsWith('/') ? `Done: ${text}` : '';
			this.showNote(notice, 'notice');
		} else {
			this.showNote(errorText(reply), 'error');
		}
		if (this.enabled) this.input.focus();
	}
}
