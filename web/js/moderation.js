import { post, isOk, errorText } from './api.js';
import { el } from './dom.js';
import { Feedback } from './feedback.js';
import { formatDuration } from './format.js';

// The moderation buttons that the chat offers on a message and on a user
// card: delete (a message only), timeout with a length, ban, unban and warn
// with a reason. Each goes to "/api/moderate"; the plug-in acts through the
// connected Twitch account and answers {"ok":true} or {"error": text}. The
// other platforms' chats are read without an account, so nothing can be
// moderated there: their lines get the same buttons and the plug-in's answer
// says so.

export const TIMEOUT_CHOICES = [
	[60, '1 min'],
	[600, '10 min'],
	[3600, '1 hour'],
	[86400, '1 day'],
	[604800, '1 week'],
];
export const DEFAULT_TIMEOUT = 600;
export const DEFAULT_WARN_REASON = 'Please follow the chat rules';

// The body of one "/api/moderate" request. Every field is text, as the
// plug-in reads them (the duration too).
export function moderationRequest(action, { platform = 'twitch', messageId = '', userId = '', duration = '', reason = '' }) {
	return {
		platform: ['tiktok', 'kick', 'youtube'].includes(platform) ? platform : 'twitch',
		action,
		id: action === 'delete' ? messageId : '',
		userId: action === 'delete' ? '' : userId,
		duration: action === 'timeout' ? String(duration) : '',
		reason: action === 'warn' ? reason.trim() : '',
	};
}

export function doneText(action, duration) {
	switch (action) {
		case 'delete':
			return 'Message deleted';
		case 'timeout':
			return `Timed out for ${formatDuration(String(duration)) || duration + ' s'}`;
		case 'ban':
			return 'Banned';
		case 'unban':
			return 'Ban or timeout lifted';
		case 'warn':
			return 'Warning sent';
		default:
			return 'Done';
	}
}

function button(label, className, title) {
	const b = el('button', 'btn ' + className, label);
	b.type = 'button';
	if (title) b.title = title;
	return b;
}

// target: {platform, messageId, userId, name}. onDone(action) runs after
// the plug-in accepted an action.
export class ModControls {
	constructor(target, { onDone = () => {} } = {}) {
		this.target = target;
		this.onDone = onDone;
		this.node = el('div', 'mod-controls');
		const who = target.name ? ` ${target.name}` : '';

		const row = el('div', 'mod-buttons');
		if (target.messageId) {
			this.deleteButton = button('Delete', 'mod-delete', 'Delete this message');
			this.deleteButton.addEventListener('click', () => this.run('delete'));
			row.append(this.deleteButton);
		}
		const timeout = el('span', 'mod-timeout');
		const timeoutButton = button('Timeout', 'mod-timeout-go', `Time${who || ' the user'} out`);
		this.length = el('select', 'mod-length');
		this.length.setAttribute('aria-label', 'Timeout length');
		for (const [seconds, label] of TIMEOUT_CHOICES) {
			const option = el('option', '', label);
			option.value = String(seconds);
			option.selected = seconds === DEFAULT_TIMEOUT;
			this.length.append(option);
		}
		timeoutButton.addEventListener('click', () => this.run('timeout'));
		timeout.append(timeoutButton, this.length);

		const ban = button('Ban', 'btn-bad mod-ban', `Ban${who}`);
		const unban = button('Unban', 'mod-unban', `Lift the ban or timeout of${who || ' the user'}`);
		this.warnButton = button('Warn', 'mod-warn', `Warn${who}`);
		ban.addEventListener('click', () => this.run('ban'));
		unban.addEventListener('click', () => this.run('unban'));
		this.warnButton.addEventListener('click', () => this.toggleWarn());
		row.append(timeout, ban, unban, this.warnButton);

		// The warning's reason, asked for only when Warn is chosen.
		this.warnRow = el('form', 'mod-warn-row');
		this.warnRow.hidden = true;
		this.reason = el('input', 'mod-reason');
		this.reason.type = 'text';
		this.reason.maxLength = 500;
		this.reason.placeholder = DEFAULT_WARN_REASON;
		this.reason.setAttribute('aria-label', 'Reason for the warning');
		const send = button('Send warning', 'btn-accent mod-warn-go');
		send.type = 'submit';
		this.warnRow.append(this.reason, send);
		this.warnRow.addEventListener('submit', (event) => {
			event.preventDefault();
			this.run('warn');
		});
		this.reason.addEventListener('keydown', (event) => {
			if (event.key !== 'Escape') return;
			event.stopPropagation();
			this.toggleWarn(false);
		});

		const note = el('p', 'mod-note');
		this.feedback = new Feedback(note);
		this.node.append(row, this.warnRow, note);
		this.busy = false;
	}

	toggleWarn(show = this.warnRow.hidden) {
		this.warnRow.hidden = !show;
		this.warnButton.setAttribute('aria-expanded', String(show));
		if (show) this.reason.focus();
	}

	buttons() {
		return this.node.querySelectorAll('button, select, input');
	}

	async run(action) {
		if (this.busy) return;
		this.busy = true;
		this.feedback.say('');
		for (const control of this.buttons()) control.disabled = true;
		const duration = action === 'timeout' ? this.length.value : '';
		const reply = await post('moderate', moderationRequest(action, { ...this.target, duration, reason: this.reason.value }));
		this.busy = false;
		for (const control of this.buttons()) control.disabled = false;
		if (!isOk(reply)) {
			this.feedback.say(errorText(reply), 'error');
			return;
		}
		this.feedback.say(doneText(action, duration));
		if (action === 'warn') {
			this.reason.value = '';
			this.toggleWarn(false);
		}
		this.onDone(action);
	}
}
