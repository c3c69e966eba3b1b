import { post, isOk, errorText } from './api.js';
import { el, icon } from './dom.js';
import { clockTime } from './format.js';
import { describeSeActivity, seReplayBody } from './describe.js';
import { Feedback } from './feedback.js';

// StreamElements from the activity dock: the account's recent activity
// ("/api/se" "history") with a replay button per item, which shows the alert
// on the overlay again, and the overlay player's seven controls. The plug-in
// adds the StreamElements token to each call; the page never sees it.

export const PLAYER_ACTIONS = [
	{ action: 'pause', label: 'Pause' },
	{ action: 'unpause', label: 'Resume' },
	{ action: 'skip', label: 'Skip' },
	{ action: 'mute', label: 'Mute' },
	{ action: 'unmute', label: 'Unmute' },
	{ action: 'playNext', label: 'Play next' },
	{ action: 'reload', label: 'Reload' },
];

// History reaches back days: older items show their date instead of a time.
function dayOrClock(ms, now = new Date()) {
	const d = new Date(ms);
	if (d.toDateString() === now.toDateString()) return clockTime(ms);
	return d.toLocaleDateString('en-GB', { day: 'numeric', month: 'short' });
}

export class StreamElementsPanel {
	constructor(root) {
		this.root = root;
		this.note = root.querySelector('.se-note');
		this.loadButton = root.querySelector('.se-load');
		this.history = root.querySelector('.se-history');
		this.feedback = new Feedback(root.querySelector('.se-feedback'));
		this.loadButton.addEventListener('click', () => this.load());
		const player = root.querySelector('.se-player');
		for (const { action, label } of PLAYER_ACTIONS) {
			const button = el('button', 'btn se-action', label);
			button.type = 'button';
			button.dataset.action = action;
			button.addEventListener('click', () => this.control(action, label, button));
			player.append(button);
		}
	}

	setConfigured(configured) {
		this.note.hidden = configured;
	}

	async load() {
		this.loadButton.disabled = true;
		const reply = await post('se', { action: 'history' });
		this.loadButton.disabled = false;
		if (!isOk(reply)) {
			this.feedback.say(errorText(reply), 'error');
			return;
		}
		const items = Array.isArray(reply) ? reply : [];
		this.history.replaceChildren(...items.map((a) => this.entry(a)));
		this.history.dataset.empty = 'StreamElements has no recent activity.';
		this.feedback.say(items.length ? `${items.length} recent ${items.length === 1 ? 'item' : 'items'}` : '');
	}

	entry(activity) {
		const view = describeSeActivity(activity);
		const item = el('li', 'item se-item tone-' + view.tone);
		const mark = el('div', 'item-icon');
		mark.append(icon(view.tone));
		const main = el('div', 'item-main');
		const title = el('div', 'item-title');
		title.append(el('span', 'name', view.name), ' ', el('span', 'what', view.phrase));
		main.append(title);
		if (view.detail) main.append(el('div', 'item-detail', view.detail));
		if (view.message) main.append(el('div', 'item-text', view.message));
		const side = el('div', 'se-side');
		const time = el('time', 'item-time', dayOrClock(view.time));
		time.dateTime = new Date(view.time).toISOString();
		time.title = new Date(view.time).toLocaleString();
		const replay = el('button', 'btn se-replay');
		replay.type = 'button';
		replay.title = 'Replay the alert';
		replay.append(icon('play'), el('span', '', 'Replay'));
		replay.addEventListener('click', () => this.replay(activity, view, replay));
		side.append(time, replay);
		item.append(mark, main, side);
		return item;
	}

	async replay(activity, view, button) {
		button.disabled = true;
		const reply = await post('se', { action: 'replay', activity: seReplayBody(activity) });
		button.disabled = false;
		if (isOk(reply)) this.feedback.say(`Replayed: ${view.name} ${view.phrase}`);
		else this.feedback.say(errorText(reply), 'error');
	}

	async control(action, label, button) {
		button.disabled = true;
		const reply = await post('se', { action });
		button.disabled = false;
		if (isOk(reply)) this.feedback.say(`Player: ${label}`);
		else this.feedback.say(errorText(reply), 'error');
	}
}
