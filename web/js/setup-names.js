import { safeImageUrl } from './format.js';

// The channel-name rule of the plug-in, run in the page too so that the
// wizard can answer at once, without a request, when a name cannot be saved,
// and the reading of "/api/check" replies. The plug-in applies the same rule
// again when it checks and saves; this copy only spares round trips.

export const PLATFORMS = [
	{ key: 'twitch', label: 'Twitch', hasLive: false },
	{ key: 'tiktok', label: 'TikTok', hasLive: true },
	{ key: 'youtube', label: 'YouTube', hasLive: false },
	{ key: 'kick', label: 'Kick', hasLive: true },
];

// Tried in this order, letter case ignored.
const PREFIXES = [
	'https://www.twitch.tv/',
	'https://twitch.tv/',
	'http://www.twitch.tv/',
	'https://www.tiktok.com/@',
	'https://tiktok.com/@',
	'https://www.youtube.com/',
	'https://youtube.com/',
	'https://kick.com/',
	'https://www.kick.com/',
];

const BLANK = /[ \t\n\r\f\v]/;

// Only ASCII letters fold: "\u212A" (Kelvin) must not pass for "k".
function startsWithIgnoringCase(text, prefix) {
	if (text.length < prefix.length) return false;
	for (let i = 0; i < prefix.length; i += 1) {
		let c = text.charCodeAt(i);
		if (c >= 65 && c <= 90) c += 32;
		if (c !== prefix.charCodeAt(i)) return false;
	}
	return true;
}

// {name, error}: name is what will be saved ("" for nothing), error is
// "Invalid name" when the input cannot be a channel name. Surrounding blanks
// are dropped first: a pasted address often carries some.
export function normaliseName(input, twitch) {
	let name = String(input ?? '').trim();
	const prefix = PREFIXES.find((p) => name.length > p.length && startsWithIgnoringCase(name, p));
	if (prefix) name = name.slice(prefix.length);
	let begin = 0;
	while (begin < name.length && (name[begin] === '@' || BLANK.test(name[begin]))) begin += 1;
	let end = name.length;
	while (end > begin && (name[end - 1] === '/' || BLANK.test(name[end - 1]))) end -= 1;
	name = name.slice(begin, end);
	if (!name) return { name: '', error: '' };
	const [min, max] = twitch ? [3, 25] : [2, 24];
	const allowed = twitch ? /^[A-Za-z0-9_]+$/ : /^[A-Za-z0-9_.-]+$/;
	if (name.length < min || name.length > max || !allowed.test(name)) return { name: '', error: 'Invalid name' };
	return { name: name.toLowerCase(), error: '' }; // ASCII only by now
}

// Why a name is refused, in words that help fix it.
export function invalidReason(input, twitch) {
	const value = String(input ?? '').trim();
	if (/[?#&=]/.test(value)) return 'Use the channel name only, without the part after “?”';
	const address = /^https?:\/\/[^/]*(.*)$/i.exec(value);
	if (address && /\/[^/]+\/[^/]/.test(address[1])) return 'This address does not point at a channel';
	if (address) return 'Use the https:// address of a Twitch, TikTok, YouTube or Kick profile, or the name only';
	if (value.includes('/')) return 'Paste the whole address, starting with https://, or type the name only';
	return twitch
		? 'Twitch names have 3 to 25 letters, digits or “_”'
		: 'Names have 2 to 24 letters, digits, “_”, “-” or “.”';
}

// The view of one "/api/check" reply: {kind: 'ok', name, display, avatar,
// live} or {kind: 'error', text}. Anything unexpected reads as an error, so
// the wizard never shows a channel nobody confirmed.
export function readCheck(reply, platform) {
	if (reply && reply.ok === true && typeof reply.display === 'string' && reply.display !== '') {
		const hasLive = PLATFORMS.find((p) => p.key === platform)?.hasLive === true;
		return {
			kind: 'ok',
			name: typeof reply.name === 'string' ? reply.name : '',
			display: reply.display,
			avatar: safeImageUrl(reply.avatar) || '',
			live: hasLive ? reply.live === true : null,
		};
	}
	const text = reply && typeof reply.error === 'string' && reply.error ? reply.error : 'The check failed';
	return { kind: 'error', text };
}
