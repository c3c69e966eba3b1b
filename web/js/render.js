import { el, append, feedImage, icon } from './dom.js';
import {
	splitByEmotes,
	readableColor,
	announcementColor,
	describeMessageItem,
	describeActivity,
	itemTime,
	clockTime,
	formatCount,
	mentionsAny,
	memo,
} from './format.js';

// Builders for what the feed items look like. Each returns a detached node;
// the pages decide where it goes. Lines carry their platform, message id and
// author id in data attributes so that removals and later actions (replies,
// user cards, moderation) can find them.

const FALLBACK_NAME_COLOR = { twitch: '#bf94ff', tiktok: '#ff6b8a', kick: '#53fc18', youtube: '#ff5c5c' };
export const PLATFORM_LABELS = { twitch: 'Twitch', tiktok: 'TikTok', kick: 'Kick', youtube: 'YouTube' };

// The item's platform word; anything unknown counts as Twitch, as the
// plug-in's own JSON does.
export function platformOf(item) {
	const word = item && item.platform;
	return typeof word === 'string' && Object.prototype.hasOwnProperty.call(PLATFORM_LABELS, word) ? word : 'twitch';
}

// The small platform mark in front of a line's name (copied from one made
// per platform).
const markTemplate = memo((platform) => {
	const mark = el('span', 'plat-mark');
	mark.title = PLATFORM_LABELS[platform];
	mark.append(icon('plat-' + platform));
	return mark;
});

function platformMark(item) {
	return markTemplate(platformOf(item)).cloneNode(true);
}

const readableNameColor = memo((color) => readableColor(color));

export function nameColor(item) {
	return readableNameColor(item && item.color) || FALLBACK_NAME_COLOR[platformOf(item)];
}

// Attributes are set directly here: the classList and dataset wrappers
// cost more, and every chat line passes through.
function tag(node, item) {
	const platform = platformOf(item);
	node.className += ' plat-' + platform;
	node.setAttribute('data-platform', platform);
	if (typeof item.id === 'string' && item.id) node.setAttribute('data-id', item.id);
	return node;
}

// Marks a node as written by the item's author, so that removals aimed at
// that user (timeouts, bans) reach it.
function authoredBy(node, item) {
	if (typeof item.userId === 'string' && item.userId) node.setAttribute('data-user-id', item.userId);
	if (typeof item.name === 'string') node.setAttribute('data-name', item.name);
}

export function badges(list) {
	if (!Array.isArray(list) || list.length === 0) return null;
	const box = el('span', 'badges');
	for (const badge of list) {
		if (!badge || typeof badge !== 'object') continue;
		const title = typeof badge.title === 'string' ? badge.title : '';
		const img = feedImage(badge.url, 'badge', title);
		if (img) box.append(img);
	}
	return box.childNodes.length ? box : null;
}

// The message body with emotes drawn as images. A zero-width emote is drawn
// over the emote before it (the spaces between go); with no emote before it,
// it stands on its own.
export function messageText(text, emotes, className = 'text') {
	const box = el('span', className);
	let last = null; // the emote or stack added last, while only spaces followed it
	let gap = null; // those spaces
	for (const part of splitByEmotes(text, emotes)) {
		if (part.text !== undefined) {
			const node = document.createTextNode(part.text);
			box.append(node);
			if (last && !gap && /^ +$/.test(part.text)) gap = node;
			else last = null;
			continue;
		}
		// An emote that cannot load still reads as its code.
		const img = feedImage(part.emote, 'emote', part.code, { textOnError: true });
		if (img && part.zeroWidth && last) {
			let stack = last;
			if (!stack.classList.contains('emote-stack')) {
				stack = el('span', 'emote-stack');
				last.replaceWith(stack);
				stack.append(last);
			}
			img.classList.add('zero-width');
			stack.append(img);
			if (gap) gap.remove();
			last = stack;
			gap = null;
			continue;
		}
		box.append(img || document.createTextNode(part.code));
		last = img;
		gap = null;
	}
	return box;
}

function name(item) {
	const node = el('span', 'name', item.name || 'Unknown');
	node.style.color = nameColor(item);
	return node;
}

function timeTitle(node, when) {
	node.title = clockTime(when);
	return node;
}

function replyContext(m) {
	const box = el('div', 'reply-ctx');
	box.append(el('span', 'reply-arrow', '↪'));
	if (m.replyTo) box.append(el('span', 'reply-to', '@' + m.replyTo));
	if (m.replyText) box.append(el('span', 'reply-text', m.replyText));
	box.title = (m.replyTo ? '@' + m.replyTo + ': ' : '') + (m.replyText || '');
	return box;
}

// One ordinary chat line ("message-in" without an event kind).
export function chatLine(m, { mentionNames = [] } = {}) {
	const line = tag(el('div', 'line msg'), m);
	authoredBy(line, m);
	timeTitle(line, itemTime(m.time));
	if (m.action) line.classList.add('action');
	if (m.firstMessage) line.classList.add('first');
	if (mentionsAny(m.text, mentionNames)) line.classList.add('mention');

	if (m.replyTo || m.replyText) line.append(replyContext(m));
	if (m.firstMessage) line.append(el('div', 'line-note note-first', 'First message'));
	else if (m.returningChatter) line.append(el('div', 'line-note note-returning', 'Returning chatter'));

	const body = el('div', 'line-body');
	append(body, platformMark(m), badges(m.badges), name(m));
	if (!m.action) body.append(el('span', 'sep', ': '));
	if (m.bits > 0) body.append(el('span', 'bits', `${formatCount(m.bits)} bits`), ' ');
	const text = messageText(m.text, m.emotes);
	if (m.action) text.style.color = nameColor(m);
	body.append(text);
	line.append(body);
	return line;
}

function eventCard(item, view) {
	const card = tag(el('div', 'line event tone-' + view.tone), item);
	timeTitle(card, itemTime(item.time));

	const head = el('div', 'event-head');
	head.append(platformMark(item), icon(view.tone, 'icon event-icon'));
	const picture = feedImage(item.eventImage, 'event-image', item.eventText || '');
	if (picture) head.append(picture);
	const words = el('span', 'event-words');
	if (view.systemText) {
		words.append(el('span', 'what', view.phrase));
	} else {
		append(words, name(item), view.phrase ? ' ' : null, view.phrase ? el('span', 'what', view.phrase) : null);
	}
	if (view.detail) words.append(el('span', 'event-detail', view.detail));
	head.append(words);
	card.append(head);
	return card;
}

// A "message-in" item with an event kind (subs, gifts, raids, TikTok items...).
export function eventLine(m) {
	const view = describeMessageItem(m);
	if (view.tone === 'announcement') return announcementLine(m);
	const card = eventCard(m, view);
	// A Super Chat shows in the colour its amount bought on YouTube.
	const paid = m.platform === 'youtube' ? readableColor(m.eventColor, 3) : null;
	if (paid) card.style.setProperty('--accent', paid);
	if (typeof m.text === 'string' && m.text !== '') {
		authoredBy(card, m);
		card.append(messageText(m.text, m.emotes, 'event-text'));
	}
	if (view.tone === 'like' || view.tone === 'join') card.classList.add('quiet');
	return card;
}

function announcementLine(m) {
	const card = tag(el('div', 'line event tone-announcement'), m);
	authoredBy(card, m);
	card.style.setProperty('--accent', announcementColor(m.eventColor));
	timeTitle(card, itemTime(m.time));
	const head = el('div', 'event-head');
	append(head, icon('announcement', 'icon event-icon'), el('span', 'event-label', 'Announcement'));
	const body = el('div', 'line-body');
	append(body, badges(m.badges), name(m), el('span', 'sep', ': '), messageText(m.text, m.emotes));
	card.append(head, body);
	return card;
}

// An "activity" item (follow, channel-point redemption).
export function activityLine(a) {
	const view = describeActivity(a);
	const card = eventCard(a, view);
	if (typeof a.input === 'string' && a.input) card.append(el('div', 'event-text', a.input));
	return card;
}

// A short line of the page's own (removals, hints).
export function noticeLine(text, className = '') {
	const line = el('div', ('line notice ' + className).trim(), text);
	timeTitle(line, Date.now());
	return line;
}

// One entry of the activity list.
export function feedEntry(item, view) {
	const entry = tag(el('li', 'item tone-' + view.tone), item);
	const when = itemTime(item.time);
	const mark = el('div', 'item-icon');
	mark.title = PLATFORM_LABELS[platformOf(item)];
	mark.append(feedImage(item.eventImage, 'item-image', item.eventText || '') || icon(view.tone));

	const main = el('div', 'item-main');
	const title = el('div', 'item-title');
	if (view.systemText) title.append(el('span', 'what', view.phrase));
	else append(title, name(item), ' ', el('span', 'what', view.phrase));
	main.append(title);
	const detail = el('div', 'item-detail', view.detail);
	if (!view.detail) detail.hidden = true;
	main.append(detail);
	const words = typeof item.input === 'string' && item.input ? item.input : item.text;
	if (typeof words === 'string' && words !== '') {
		main.append(item.input ? el('div', 'item-text', words) : messageText(words, item.emotes, 'item-text'));
	}

	const time = el('time', 'item-time', clockTime(when));
	time.dateTime = new Date(when).toISOString();
	time.title = new Date(when).toLocaleString();
	entry.append(mark, main, time);
	return entry;
}

// Recipients gathered under a mystery-gift entry.
export function setRecipients(entry, names) {
	let line = entry.querySelector('.item-recipients');
	if (!line) {
		line = el('div', 'item-recipients');
		entry.querySelector('.item-main').append(line);
	}
	line.textContent = 'to ' + names.join(', ');
	line.title = line.textContent;
}
