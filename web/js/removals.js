import { noticeLine } from './render.js';
import { formatDuration } from './format.js';

// Applies a "clear" event to the chat list:
// {"platform":"twitch","id":..,"userId":..,"name":..,"duration":..} names one
// message (id), one user's messages (userId; a timeout when a duration is
// given, a ban otherwise), or the whole chat (both empty). Only lines of the
// clear's platform are compared (Twitch when it names none): each platform
// has ids of its own, and the demo items of all platforms share the user id
// "0".

const LABELS = { twitch: 'Twitch', kick: 'Kick', youtube: 'YouTube' };

function text(value) {
	return typeof value === 'string' ? value : '';
}

export function strike(node) {
	if (node.classList.contains('deleted')) return;
	node.classList.add('deleted');
	node.title = (node.title ? node.title + ' · ' : '') + 'deleted by a moderator';
}

export function applyClear(list, clear) {
	if (!clear || typeof clear !== 'object') return;
	const id = text(clear.id);
	const userId = text(clear.userId);
	const name = text(clear.name) || 'A user';
	const platform = Object.prototype.hasOwnProperty.call(LABELS, clear.platform) ? clear.platform : 'twitch';
	const lines = list.items().filter((node) => node.dataset.platform === platform);
	if (id) {
		for (const node of lines) if (node.dataset.id === id) strike(node);
		return;
	}
	if (userId) {
		for (const node of lines) if (node.dataset.userId === userId) strike(node);
		const duration = formatDuration(text(clear.duration));
		list.add(noticeLine(duration ? `${name} was timed out for ${duration}.` : `${name} was banned.`, 'mod'));
		return;
	}
	for (const node of lines) list.remove(node);
	list.add(noticeLine(`The ${LABELS[platform]} chat was cleared by a moderator.`, 'mod'));
}
