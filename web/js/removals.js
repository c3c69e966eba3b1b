import { noticeLine } from './render.js';
import { formatDuration } from './format.js';

// Applies a "clear" event to the chat list:
// {"platform":"twitch","id":..,"userId":..,"name":..,"duration":..} names one
// message (id), one user's messages (userId; a timeout when a duration is
// given, a ban otherwise), or the whole chat (both empty). Only Twitch lines
// are compared: TikTok ids and user ids come from another namespace and the
// demo items of both platforms share the user id "0".

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
	const twitchLines = list.items().filter((node) => node.dataset.platform === 'twitch');
	if (id) {
		for (const node of twitchLines) if (node.dataset.id === id) strike(node);
		return;
	}
	if (userId) {
		for (const node of twitchLines) if (node.dataset.userId === userId) strike(node);
		const duration = formatDuration(text(clear.duration));
		list.add(noticeLine(duration ? `${name} was timed out for ${duration}.` : `${name} was banned.`, 'mod'));
		return;
	}
	for (const node of twitchLines) list.remove(node);
	list.add(noticeLine('The Twitch chat was cleared by a moderator.', 'mod'));
}
