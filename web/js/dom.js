import { memo, safeImageUrl } from './format.js';

// Small DOM builders. Feed data only ever reaches the page as text nodes,
// attribute values or checked image addresses; nothing here parses HTML.

export function el(tag, className, text) {
	const node = document.createElement(tag);
	if (className) node.className = className;
	if (text !== undefined && text !== null && text !== '') node.textContent = String(text);
	return node;
}

export function append(parent, ...children) {
	for (const child of children) {
		if (child === null || child === undefined || child === false) continue;
		parent.append(child);
	}
	return parent;
}

// Images are copied from one made per address, class and label: a copy
// costs the browser far less than an image whose attributes are set one by
// one, and a chat shows the same emotes and badges again and again.
const imageTemplate = memo((key) => {
	// The address and our class names hold no line break; the label may.
	const one = key.indexOf('\n');
	const two = key.indexOf('\n', one + 1);
	const src = key.slice(0, one);
	const className = key.slice(one + 1, two);
	const label = key.slice(two + 1);
	const img = document.createElement('img');
	img.className = className;
	img.referrerPolicy = 'no-referrer';
	img.decoding = 'async';
	img.draggable = false;
	img.alt = label;
	if (label) img.title = label;
	img.src = src;
	return img;
}, 500);

// Images of lines that left the chat, by what they show, for new lines that
// show the same: moving a loaded image costs neither a request to the
// browser's cache nor a load event.
const spare = new Map();
const spareKeys = new WeakMap();
const MAX_SPARE = 600;
const MAX_SPARE_EACH = 60;
let spareCount = 0;

// An image from the feed, or null when its address is not acceptable. With
// `textOnError`, an image that cannot load gives way to its label (an
// emote's code); otherwise it is hidden instead of showing the browser's
// placeholder.
export function feedImage(url, className, label, { textOnError = false } = {}) {
	const src = safeImageUrl(url);
	if (!src) return null;
	const look = `${src}\n${className}\n${label || ''}`;
	const key = (textOnError ? 't' : 'h') + look;
	const kept = spare.get(key);
	if (kept) {
		const img = kept.pop();
		if (!kept.length) spare.delete(key);
		spareCount -= 1;
		return img;
	}
	const img = imageTemplate(look).cloneNode(false);
	spareKeys.set(img, { key, className });
	img.addEventListener(
		'error',
		() => (textOnError ? img.replaceWith(img.alt) : img.classList.add('broken')),
		{ once: true }
	);
	return img;
}

// Offers the images inside `nodes` (lines that were dropped from a list and
// are not shown again) to feedImage. Only loaded images that still look as
// they were made are taken.
export function reuseImages(nodes) {
	for (const node of nodes) {
		for (const img of Array.from(node.getElementsByTagName('img'))) {
			const made = spareKeys.get(img);
			if (!made || img.isConnected || !img.complete || !img.naturalWidth || img.className !== made.className) continue;
			let list = spare.get(made.key);
			if (!list) spare.set(made.key, (list = []));
			if (list.length >= MAX_SPARE_EACH) continue;
			// Out of the dropped line, which can then be collected.
			img.remove();
			list.push(img);
			spareCount += 1;
		}
	}
	// Past the bound, the images kept longest go first.
	for (const [key, list] of spare) {
		if (spareCount <= MAX_SPARE) break;
		spare.delete(key);
		spareCount -= list.length;
	}
}

// Icons drawn from fixed path data (24 x 24 view box).
const ICONS = {
	follow: 'M12 20.6s-7.4-4.5-9.3-9C1.4 8.4 3.4 5 6.8 5c2.1 0 3.6 1.2 4.3 2.4h1.8C13.6 6.2 15.1 5 17.2 5c3.4 0 5.4 3.4 4.1 6.6-1.9 4.5-9.3 9-9.3 9z',
	like: 'M12 20.6s-7.4-4.5-9.3-9C1.4 8.4 3.4 5 6.8 5c2.1 0 3.6 1.2 4.3 2.4h1.8C13.6 6.2 15.1 5 17.2 5c3.4 0 5.4 3.4 4.1 6.6-1.9 4.5-9.3 9-9.3 9z',
	sub: 'M12 2.5l2.9 6.1 6.6.8-4.9 4.6 1.3 6.6L12 17.3l-5.9 3.3 1.3-6.6-4.9-4.6 6.6-.8z',
	gift: 'M3 8h18v5H3zM4.5 13h15v8h-15zM10.8 8h2.4v13h-2.4zM12 8C10.4 4.6 6.4 3.4 6 5.6 5.7 7.4 9 8 12 8zm0 0c1.6-3.4 5.6-4.6 6-2.4.3 1.8-3 2.4-6 2.4z',
	raid: 'M3 11h11.2l-4-4L12 5.2l7 6.8-7 6.8-1.8-1.8 4-4H3z',
	cheer: 'M12 2l7.5 8.5L12 22 4.5 10.5z',
	share: 'M14 4l7.5 7-7.5 7v-4.2c-5.2 0-8.7 1.6-11.5 5.2 1-5.3 4.2-10.2 11.5-11.2z',
	redeem: 'M12 2.8a9.2 9.2 0 1 0 0 18.4 9.2 9.2 0 0 0 0-18.4zm0 4a5.2 5.2 0 1 1 0 10.4 5.2 5.2 0 0 1 0-10.4z',
	announcement: 'M3 9.5v5h3.2l6.8 4.5v-14L6.2 9.5zm13.5-2v9c2-.8 3.5-2.6 3.5-4.5s-1.5-3.7-3.5-4.5z',
	join: 'M12 12a4.2 4.2 0 1 0 0-8.4 4.2 4.2 0 0 0 0 8.4zm-8 8.4c0-4 3.8-6.4 8-6.4s8 2.4 8 6.4z',
	other: 'M12 3a9 9 0 1 0 0 18 9 9 0 0 0 0-18zm-1.2 4h2.4v7h-2.4zm0 8.6h2.4V18h-2.4z',
	eye: 'M12 5C6.4 5 2.5 12 2.5 12S6.4 19 12 19s9.5-7 9.5-7S17.6 5 12 5zm0 11a4 4 0 1 1 0-8 4 4 0 0 1 0 8zm0-2.2a1.8 1.8 0 1 0 0-3.6 1.8 1.8 0 0 0 0 3.6z',
	pin: 'M15.5 2.5l6 6-2.2 1-3.6 3.6.5 4.6-1.6 1.6-4.2-4.2-5.3 5.3-1.2-1.2 5.3-5.3-4.2-4.2 1.6-1.6 4.6.5 3.6-3.6z',
	poll: 'M4 13h3.5v8H4zM10.25 3h3.5v18h-3.5zM16.5 8H20v13h-3.5z',
	prediction: 'M12 2.5a9.5 9.5 0 1 0 0 19 9.5 9.5 0 0 0 0-19zm-1.2 4h2.4v5.6l4.3 2.5-1.2 2.1-5.5-3.2z',
	hype_train: 'M13.5 2L4.5 13.5h6L9.5 22l9-11.5h-6z',
	shield: 'M12 2.2l8 3v6.2c0 5-3.4 9.2-8 10.4-4.6-1.2-8-5.4-8-10.4V5.2zm-1.3 13.4l6-6-1.6-1.6-4.4 4.4-2.2-2.2-1.6 1.6z',
	find: 'M10 3a7 7 0 1 0 4.2 12.6l5.6 5.6 1.4-1.4-5.6-5.6A7 7 0 0 0 10 3zm0 2.2a4.8 4.8 0 1 1 0 9.6 4.8 4.8 0 0 1 0-9.6z',
	close: 'M6.4 5l5.6 5.6L17.6 5 19 6.4 13.4 12l5.6 5.6-1.4 1.4-5.6-5.6L6.4 19 5 17.6l5.6-5.6L5 6.4z',
	play: 'M7 4.5v15l12.5-7.5z',
	'plat-twitch': 'M5 3L3.5 6.8V19h4.2v2.5h2.4l2.5-2.5h3.4l5-5V3zm1.6 1.7h13v8.4l-2.8 2.8h-4.5l-2.5 2.5v-2.5H6.6zm4 2.5v5h1.7v-5zm4.6 0v5h1.7v-5z',
	'plat-tiktok': 'M13 2.5h3.2c.3 2.4 1.8 4 4.3 4.2v3.3c-1.6 0-3-.5-4.3-1.3v6.6a6 6 0 1 1-6-6h.6v3.4a2.7 2.7 0 1 0 2.2 2.6z',
	'plat-kick': 'M3.5 3h5.6v5h2.2V5.3h2.4V3h7v6.2h-2.4v2.4h-2.4v.8h2.4v2.4h2.4V21h-7v-2.3h-2.4V16h-2.2v5H3.5z',
	'plat-youtube': 'M21.6 7.2a2.6 2.6 0 0 0-1.8-1.8C18.2 5 12 5 12 5s-6.2 0-7.8.4a2.6 2.6 0 0 0-1.8 1.8C2 8.8 2 12 2 12s0 3.2.4 4.8a2.6 2.6 0 0 0 1.8 1.8C5.8 19 12 19 12 19s6.2 0 7.8-.4a2.6 2.6 0 0 0 1.8-1.8c.4-1.6.4-4.8.4-4.8s0-3.2-.4-4.8zM10 15V9l5.2 3z',
	emote: 'M12 2.5a9.5 9.5 0 1 0 0 19 9.5 9.5 0 0 0 0-19zM8.7 7.8a1.5 1.5 0 1 1 0 3 1.5 1.5 0 0 1 0-3zm6.6 0a1.5 1.5 0 1 1 0 3 1.5 1.5 0 0 1 0-3zM7 13.4h10c-.6 2.6-2.7 4.4-5 4.4s-4.4-1.8-5-4.4z',
};

const SVG_NS = 'http://www.w3.org/2000/svg';

export function icon(name, className = 'icon') {
	return iconTemplate(`${name} ${className}`).cloneNode(true);
}

const iconTemplate = memo((key) => {
	const at = key.indexOf(' ');
	const name = key.slice(0, at);
	const className = key.slice(at + 1);
	const svg = document.createElementNS(SVG_NS, 'svg');
	svg.setAttribute('viewBox', '0 0 24 24');
	svg.setAttribute('class', className);
	svg.setAttribute('aria-hidden', 'true');
	svg.setAttribute('focusable', 'false');
	const path = document.createElementNS(SVG_NS, 'path');
	path.setAttribute('d', ICONS[name] || ICONS.other);
	path.setAttribute('fill-rule', 'evenodd');
	svg.append(path);
	return svg;
}, 100);
