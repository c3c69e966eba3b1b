// Pure helpers shared by the pages: no DOM, no network, so that they can be
// exercised directly under Node.

const HEX_COLOR = /^#[0-9a-f]{6}$/i;

// Remembers up to `max` results of `fn` by its (string) argument; a busy
// chat asks for the same image addresses and name colours over and over.
// The oldest result goes first once the cache is full.
export function memo(fn, max = 1000) {
	const cache = new Map();
	return (key) => {
		if (typeof key !== 'string') return fn(key);
		if (cache.has(key)) return cache.get(key);
		const value = fn(key);
		cache.set(key, value);
		if (cache.size > max) cache.delete(cache.keys().next().value);
		return value;
	};
}

// Only feed images from the web (emotes, badges, avatars, gift pictures) or
// the server's own badge paths may become <img> sources. Anything else
// (javascript:, data:, protocol-relative "//host", other local paths) is
// refused so that feed data cannot point the page at arbitrary resources.
export const safeImageUrl = memo(checkImageUrl);

function checkImageUrl(url) {
	if (typeof url !== 'string' || url === '') return null;
	if (url.startsWith('/badge/')) {
		return /^\/badge\/[A-Za-z0-9_.-]+$/.test(url) && !url.includes('..') ? url : null;
	}
	if (!/^https?:\/\//i.test(url)) return null;
	try {
		const parsed = new URL(url);
		if (parsed.protocol !== 'http:' && parsed.protocol !== 'https:') return null;
		if (parsed.username || parsed.password) return null;
		return parsed.href;
	} catch {
		return null;
	}
}

// Splits a message into text and emote pieces. Emote positions count Unicode
// code points (inclusive start and end), as Twitch reports them, so the text
// is split into code points first: an emoji before an emote is two UTF-16
// units but one position. Spans that overlap, fall outside the text or carry
// an unusable image address are ignored and their characters stay text.
// Zero-width emotes (third-party overlays) keep their mark.
export function splitByEmotes(text, emotes) {
	const source = typeof text === 'string' ? text : '';
	const points = Array.from(source);
	const spans = (Array.isArray(emotes) ? emotes : [])
		.map((e) => ({
			start: e && e.start,
			end: e && e.end,
			url: safeImageUrl(e && e.url),
			zeroWidth: Boolean(e && e.zeroWidth === true),
		}))
		.filter(
			(e) =>
				Number.isInteger(e.start) &&
				Number.isInteger(e.end) &&
				e.start >= 0 &&
				e.end >= e.start &&
				e.end < points.length &&
				e.url
		)
		.sort((a, b) => a.start - b.start);

	const parts = [];
	let pos = 0;
	for (const span of spans) {
		if (span.start < pos) continue; // overlaps the previous emote
		if (span.start > pos) parts.push({ text: points.slice(pos, span.start).join('') });
		const part = { emote: span.url, code: points.slice(span.start, span.end + 1).join('') };
		if (span.zeroWidth) part.zeroWidth = true;
		parts.push(part);
		pos = span.end + 1;
	}
	if (pos < points.length) parts.push({ text: points.slice(pos).join('') });
	return parts;
}

function channelLuminance(c) {
	const v = c / 255;
	return v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4);
}

function luminance(rgb) {
	return 0.2126 * channelLuminance(rgb[0]) + 0.7152 * channelLuminance(rgb[1]) + 0.0722 * channelLuminance(rgb[2]);
}

function parseHex(hex) {
	return [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16));
}

function toHex(rgb) {
	return '#' + rgb.map((c) => Math.round(c).toString(16).padStart(2, '0')).join('');
}

const PAGE_BACKGROUND = parseHex('#1e1e24');

export function contrastRatio(a, b) {
	const la = luminance(a);
	const lb = luminance(b);
	return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05);
}

// Name colours are chosen by chatters for a light or a dark chat; pure blue or
// dark green are unreadable on the dock's dark background. A colour below the
// contrast target is blended towards white just enough to reach it. Returns
// null for anything that is not "#rrggbb", so callers fall back to their own.
export function readableColor(color, minContrast = 4.5) {
	if (typeof color !== 'string' || !HEX_COLOR.test(color)) return null;
	const rgb = parseHex(color);
	if (contrastRatio(rgb, PAGE_BACKGROUND) >= minContrast) return color.toLowerCase();
	// Channels are rounded up while searching, so the colour that is written
	// out is exactly the one that passed.
	const mix = (t) => rgb.map((c) => Math.min(255, Math.ceil(c + (255 - c) * t)));
	let lo = 0;
	let hi = 1;
	for (let i = 0; i < 12; i++) {
		const mid = (lo + hi) / 2;
		if (contrastRatio(mix(mid), PAGE_BACKGROUND) >= minContrast) hi = mid;
		else lo = mid;
	}
	return toHex(mix(hi));
}

// Announcement colours as Twitch names them (PRIMARY is the channel's accent).
const ANNOUNCEMENT_COLORS = {
	primary: '#9147ff',
	blue: '#00b5d6',
	green: '#00c274',
	orange: '#ff9f1a',
	purple: '#b57bff',
};

export function announcementColor(name) {
	if (typeof name === 'string') {
		if (HEX_COLOR.test(name)) return readableColor(name, 3);
		const known = ANNOUNCEMENT_COLORS[name.toLowerCase()];
		if (known) return known;
	}
	return ANNOUNCEMENT_COLORS.primary;
}

export function planLabel(plan) {
	switch (plan) {
		case '1000':
			return 'Tier 1';
		case '2000':
			return 'Tier 2';
		case '3000':
			return 'Tier 3';
		case 'Prime':
		case 'prime':
			return 'Prime';
		default:
			return plan || '';
	}
}

function count(text) {
	if (typeof text === 'number' && Number.isFinite(text)) return Math.trunc(text);
	if (typeof text !== 'string' || !/^-?\d+$/.test(text.trim())) return null;
	const n = Number(text.trim());
	return Number.isSafeInteger(n) ? n : null;
}

export function formatCount(n) {
	return n.toLocaleString('en-US');
}

function plural(n, one, many) {
	return `${formatCount(n)} ${n === 1 ? one : many}`;
}

export function formatDuration(secondsText) {
	const s = count(secondsText);
	if (s === null || s < 0) return '';
	if (s < 60) return `${s} s`;
	if (s < 3600) return s % 60 === 0 ? `${s / 60} min` : `${Math.floor(s / 60)} min ${s % 60} s`;
	if (s < 86400) return `${Math.round(s / 360) / 10} h`.replace('.0 h', ' h');
	return `${Math.round(s / 8640) / 10} d`.replace('.0 d', ' d');
}

// Twitch activity items that belong in the activity feed besides chat.
const TWITCH_SUB_KINDS = new Set([
	'sub',
	'resub',
	'subgift',
	'submysterygift',
	'anonsubgift',
	'anonsubmysterygift',
	'giftpaidupgrade',
	'anongiftpaidupgrade',
	'primepaidupgrade',
	'communitypayforward',
	'standardpayforward',
]);
const TIKTOK_FEED_KINDS = new Set(['gift', 'follow', 'share']);
const YOUTUBE_FEED_KINDS = new Set(['superchat', 'supersticker', 'member', 'membergift']);

export function isFeedWorthy(m) {
	if (!m || typeof m !== 'object') return false;
	if (m.platform === 'tiktok') return TIKTOK_FEED_KINDS.has(m.eventId);
	if (m.platform === 'youtube') return YOUTUBE_FEED_KINDS.has(m.eventId);
	if (m.eventId === 'raid' || TWITCH_SUB_KINDS.has(m.eventId)) return true;
	return !m.eventId && count(m.bits) > 0;
}

// Times arrive as milliseconds (chat items) or as RFC 3339 text (follows,
// redemptions), and demo follows carry none: fall back to the arrival time.
export function itemTime(value, now = Date.now()) {
	if (typeof value === 'number' && Number.isFinite(value) && value > 0) return value;
	if (typeof value === 'string' && value !== '') {
		const t = Date.parse(value);
		if (Number.isFinite(t)) return t;
	}
	return now;
}

export function clockTime(ms) {
	const d = new Date(ms);
	return `${String(d.getHours()).padStart(2, '0')}:${String(d.getMinutes()).padStart(2, '0')}`;
}

function str(v) {
	return typeof v === 'string' ? v : '';
}

// Turns one "message-in" item that carries an event kind into what the pages
// show: the actor, a short phrase after the name, an optional detail line and
// the item's tone (used for its icon and accent). The user's own words stay in
// the record (text/emotes) and are shown beneath by the renderer.
export function describeMessageItem(m) {
	const kind = str(m.eventId);
	const plan = planLabel(str(m.eventPlan));
	const months = count(m.eventMonths);
	const n = count(m.eventCount);
	const total = count(m.eventTotal);
	const details = [];
	let phrase = '';
	let tone = 'other';
	let systemText = false;

	if (m.platform === 'tiktok') {
		switch (kind) {
			case 'gift': {
				tone = 'gift';
				const gift = str(m.eventText) || 'a gift';
				phrase = n !== null && n > 1 ? `sent ${gift} ×${formatCount(n)}` : `sent ${gift}`;
				if (total !== null && total > 0) details.push(plural(total, 'diamond', 'diamonds'));
				break;
			}
			case 'like':
				tone = 'like';
				phrase = n !== null && n > 1 ? `liked the LIVE ×${formatCount(n)}` : 'liked the LIVE';
				if (total !== null && total > 0) details.push(`${formatCount(total)} likes in total`);
				break;
			case 'follow':
				tone = 'follow';
				phrase = 'followed';
				break;
			case 'share':
				tone = 'share';
				phrase = 'shared the LIVE';
				break;
			case 'join':
				tone = 'join';
				phrase = 'joined';
				break;
			default:
				phrase = str(m.eventText) || kind;
		}
		return { kind, tone, phrase, detail: details.join(' · '), systemText };
	}

	if (m.platform === 'youtube') {
		// Super Chats and Super Stickers carry their amount as YouTube
		// writes it ("$5.00", "¥500").
		const amount = str(m.eventTotal);
		switch (kind) {
			case 'superchat':
				tone = 'cheer';
				phrase = amount ? `sent a Super Chat of ${amount}` : 'sent a Super Chat';
				break;
			case 'supersticker':
				tone = 'cheer';
				phrase = amount ? `sent a Super Sticker of ${amount}` : 'sent a Super Sticker';
				if (str(m.eventText)) details.push(str(m.eventText));
				break;
			case 'member':
				tone = 'sub';
				phrase = months !== null && months > 1 ? `has been a member for ${plural(months, 'month', 'months')}` : 'became a member';
				if (str(m.eventText)) details.push(str(m.eventText));
				break;
			case 'membergift':
				tone = 'gift';
				phrase = n !== null && n > 0 ? `gifted ${plural(n, 'membership', 'memberships')}` : 'gifted memberships';
				break;
			default:
				phrase = str(m.eventText) || kind;
		}
		return { kind, tone, phrase, detail: details.join(' · '), systemText };
	}

	if (!kind && count(m.bits) > 0) {
		const bits = count(m.bits);
		return { kind: 'cheer', tone: 'cheer', phrase: `cheered ${plural(bits, 'bit', 'bits')}`, detail: '', systemText };
	}

	switch (kind) {
		case 'sub':
			tone = 'sub';
			phrase = plan === 'Prime' ? 'subscribed with Prime' : 'subscribed';
			if (plan && plan !== 'Prime') details.push(plan);
			break;
		case 'resub':
			tone = 'sub';
			phrase = months !== null && months > 0 ? `resubscribed for ${plural(months, 'month', 'months')}` : 'resubscribed';
			if (plan) details.push(plan);
			break;
		case 'subgift':
		case 'anonsubgift': {
			tone = 'gift';
			const to = str(m.eventRecipient);
			phrase = to ? `gifted a sub to ${to}` : 'gifted a sub';
			if (plan) details.push(plan);
			if (total !== null && total > 1) details.push(`${formatCount(total)} gifted in total`);
			break;
		}
		case 'submysterygift':
		case 'anonsubmysterygift':
			tone = 'gift';
			phrase = n !== null && n > 0 ? `is gifting ${plural(n, 'sub', 'subs')}` : 'is gifting subs';
			if (plan) details.push(plan);
			if (total !== null && total > 0 && total !== n) details.push(`${formatCount(total)} gifted in total`);
			break;
		case 'raid': {
			tone = 'raid';
			const viewers = count(m.eventViewers);
			phrase = viewers !== null ? `is raiding with ${plural(viewers, 'viewer', 'viewers')}` : 'is raiding';
			break;
		}
		case 'announcement':
			tone = 'announcement';
			phrase = '';
			break;
		default:
			// Kinds without a phrase of our own: Twitch's system message says
			// it all (it already starts with the user's name).
			tone = TWITCH_SUB_KINDS.has(kind) ? 'sub' : 'other';
			if (str(m.eventText)) {
				phrase = str(m.eventText);
				systemText = true;
			} else {
				phrase = kind;
			}
	}
	return { kind, tone, phrase, detail: details.join(' · '), systemText };
}

// The same for an "activity" item (follows and channel-point redemptions).
export function describeActivity(a) {
	const type = str(a.type);
	if (type === 'follow') return { kind: type, tone: 'follow', phrase: 'followed', detail: '' };
	if (type === 'redeem') {
		const reward = str(a.reward) || 'a reward';
		const cost = count(a.cost);
		return {
			kind: type,
			tone: 'redeem',
			phrase: `redeemed ${reward}`,
			detail: cost !== null && cost > 0 ? plural(cost, 'point', 'points') : '',
		};
	}
	return { kind: type, tone: 'other', phrase: type || 'activity', detail: '' };
}

// True when the text addresses one of the given names ("@name" or the bare
// name as a word), case-insensitively.
export function mentionsAny(text, names) {
	if (typeof text !== 'string' || text === '') return false;
	const lower = text.toLowerCase();
	for (const raw of names || []) {
		const name = typeof raw === 'string' ? raw.trim().toLowerCase().replace(/^@/, '') : '';
		if (!name) continue;
		let at = lower.indexOf(name);
		while (at !== -1) {
			const before = at === 0 ? '' : lower[at - 1];
			const after = lower[at + name.length] || '';
			if (!/[\p{L}\p{N}_]/u.test(before) && !/[\p{L}\p{N}_]/u.test(after)) return true;
			at = lower.indexOf(name, at + 1);
		}
	}
	return false;
}
