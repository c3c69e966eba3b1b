// Pure readers for the payloads of the channel-state events (highlights,
// pins) and of the StreamElements and ad-break replies: what a card shows,
// decided without the DOM so that it can be checked directly under Node.
// Every field is read defensively; a payload of an unexpected shape yields
// null or empty parts, never an exception.

import { formatCount, itemTime } from './format.js';

function str(v) {
	return typeof v === 'string' ? v : '';
}

function num(v) {
	if (typeof v === 'number' && Number.isFinite(v)) return v;
	if (typeof v === 'string' && /^-?\d+(\.\d+)?$/.test(v.trim())) return Number(v);
	return null;
}

function list(v) {
	return Array.isArray(v) ? v.filter((x) => x && typeof x === 'object') : [];
}

function plural(n, one, many) {
	return `${formatCount(n)} ${n === 1 ? one : many}`;
}

const compact = new Intl.NumberFormat('en-US', { notation: 'compact', maximumFractionDigits: 1 });

function points(n) {
	return `${n >= 10000 ? compact.format(n) : formatCount(n)} ${n === 1 ? 'point' : 'points'}`;
}

// "1:05 left", "12 s left"; '' once the time has passed or is unknown.
export function timeLeft(when, now = Date.now()) {
	const t = typeof when === 'string' && when ? Date.parse(when) : NaN;
	if (!Number.isFinite(t)) return '';
	const s = Math.ceil((t - now) / 1000);
	if (s <= 0) return '';
	if (s < 60) return `${s} s left`;
	const m = Math.floor(s / 60);
	if (m < 60) return `${m}:${String(s % 60).padStart(2, '0')} left`;
	return `${Math.floor(m / 60)} h ${m % 60} min left`;
}

// Rows with a share of the total; the largest value (or the named winner)
// is marked, but only once a result is known.
function shares(rows, { winnerId = '', markMax = false } = {}) {
	const total = rows.reduce((sum, r) => sum + (r.value > 0 ? r.value : 0), 0);
	const max = Math.max(0, ...rows.map((r) => r.value));
	return rows.map((r) => ({
		...r,
		share: total > 0 ? Math.max(0, r.value) / total : 0,
		winner: winnerId ? r.id === winnerId : markMax && max > 0 && r.value === max,
	}));
}

function pollView(e, phase, now) {
	const ended = phase === 'end';
	const rows = shares(
		list(e.choices).map((c) => {
			const votes = num(c.votes) ?? 0;
			return { id: str(c.id), label: str(c.title), value: votes, text: plural(votes, 'vote', 'votes') };
		}),
		{ markMax: ended }
	);
	const votes = rows.reduce((sum, r) => sum + r.value, 0);
	let status;
	if (ended) status = str(e.status).toLowerCase() === 'terminated' ? 'Poll ended early' : 'Poll ended';
	else status = ['Poll', plural(votes, 'vote', 'votes'), timeLeft(str(e.ends_at), now)].filter(Boolean).join(' · ');
	return { title: str(e.title) || 'Poll', rows, status };
}

function predictionView(e, phase, now) {
	const ended = phase === 'end';
	const canceled = str(e.status).toLowerCase() === 'canceled';
	const winnerId = ended && !canceled ? str(e.winning_outcome_id) : '';
	const rows = shares(
		list(e.outcomes).map((o) => {
			const pts = num(o.channel_points) ?? 0;
			const users = num(o.users);
			const parts = [points(pts)];
			if (users !== null) parts.push(plural(users, 'person', 'people'));
			return { id: str(o.id), label: str(o.title), value: pts, text: parts.join(' · '), color: str(o.color).toLowerCase() };
		}),
		{ winnerId }
	);
	let status;
	if (ended) status = canceled ? 'Prediction canceled' : 'Prediction ended';
	else if (phase === 'lock' || str(e.locked_at)) status = 'Predictions closed';
	else status = ['Prediction', timeLeft(str(e.locks_at), now)].filter(Boolean).join(' · ');
	return { title: str(e.title) || 'Prediction', rows, status };
}

function hypeTrainView(e, phase, now) {
	const ended = phase === 'end';
	const level = num(e.level);
	const progress = num(e.progress);
	const goal = num(e.goal);
	const top = list(e.top_contributions)
		.map((c) => str(c.user_name) || str(c.user_login))
		.filter(Boolean);
	const title = level !== null ? `Hype Train · Level ${formatCount(level)}` : 'Hype Train';
	const rows = [];
	if (!ended && progress !== null && goal !== null && goal > 0) {
		rows.push({
			id: 'progress',
			label: `Level ${level !== null ? formatCount(level + 1) : 'up'}`,
			value: progress,
			text: `${Math.min(100, Math.floor((progress / goal) * 100))}%`,
			share: Math.max(0, Math.min(1, progress / goal)),
			winner: false,
		});
	}
	const status = ended
		? level !== null
			? `Hype Train ended at level ${formatCount(level)}`
			: 'Hype Train ended'
		: ['Hype Train', timeLeft(str(e.expires_at), now)].filter(Boolean).join(' · ');
	return { title, rows, status, detail: top.length ? `Top: ${top.slice(0, 3).join(', ')}` : '' };
}

// A "highlight" event: {"type":"channel.poll.progress","event":{...}}.
// Returns {kind, phase, ended, title, rows:[{id,label,value,text,share,
// winner,color}], status, detail}, or null for anything else.
export function describeHighlight(h, now = Date.now()) {
	if (!h || typeof h !== 'object') return null;
	const m = /^channel\.(poll|prediction|hype_train)\.([a-z_]+)$/.exec(str(h.type));
	if (!m) return null;
	const [, kind, phase] = m;
	const e = h.event && typeof h.event === 'object' ? h.event : {};
	const view = kind === 'poll' ? pollView(e, phase, now) : kind === 'prediction' ? predictionView(e, phase, now) : hypeTrainView(e, phase, now);
	return { kind, phase, ended: phase === 'end', detail: '', ...view };
}

// The "pins" event carries Twitch's pinned-chat reply unchanged:
// {"data":[{...}]}. The first entry with a text is the pinned message;
// null when nothing is pinned.
export function pinnedMessage(payload) {
	for (const p of list(payload && payload.data)) {
		const message = p.message;
		const text =
			(message && typeof message === 'object' ? str(message.text) : str(message)) || str(p.text) || str(p.message_text);
		if (!text) continue;
		return {
			id: str(p.id) || str(p.message_id) || text,
			text,
			name:
				str(p.sender_user_name) ||
				str(p.sender_name) ||
				str(p.user_name) ||
				(message && typeof message === 'object' ? str(message.sender_user_name) : ''),
			by: str(p.pinned_by_user_name) || str(p.moderator_user_name),
		};
	}
	return null;
}

function money(amount, currency) {
	const code = /^[A-Z]{3}$/.test(str(currency)) ? currency : '';
	if (!code) return amount.toLocaleString('en-US', { maximumFractionDigits: 2 });
	try {
		return new Intl.NumberFormat('en-US', { style: 'currency', currency: code }).format(amount);
	} catch {
		return `${amount} ${code}`;
	}
}

function tier(value) {
	const t = str(value).toLowerCase();
	return t === '1000' ? 'Tier 1' : t === '2000' ? 'Tier 2' : t === '3000' ? 'Tier 3' : t === 'prime' ? 'Prime' : '';
}

// One entry of StreamElements' activity history: {name, phrase, detail,
// message, tone, time}.
export function describeSeActivity(a, now = Date.now()) {
	const item = a && typeof a === 'object' ? a : {};
	const data = item.data && typeof item.data === 'object' ? item.data : {};
	const type = str(item.type);
	const amount = num(data.amount);
	const count = amount !== null ? Math.trunc(amount) : null;
	const details = [];
	let phrase;
	let tone = 'other';
	switch (type) {
		case 'follow':
			phrase = 'followed';
			tone = 'follow';
			break;
		case 'subscriber':
			phrase = data.gifted ? 'received a gift sub' : 'subscribed';
			tone = 'sub';
			if (tier(data.tier)) details.push(tier(data.tier));
			if (count !== null && count > 1) details.push(plural(count, 'month', 'months'));
			break;
		case 'tip':
			phrase = amount !== null ? `tipped ${money(amount, data.currency)}` : 'tipped';
			tone = 'cheer';
			break;
		case 'cheer':
			phrase = count !== null ? `cheered ${plural(count, 'bit', 'bits')}` : 'cheered';
			tone = 'cheer';
			break;
		case 'raid':
		case 'host':
			phrase = `${type === 'raid' ? 'raided' : 'hosted'}${count !== null ? ` with ${plural(count, 'viewer', 'viewers')}` : ''}`;
			tone = 'raid';
			break;
		case 'communityGiftPurchase':
			phrase = count !== null ? `gifted ${plural(count, 'sub', 'subs')}` : 'gifted subs';
			tone = 'gift';
			break;
		case 'redemption':
			phrase = `redeemed ${str(data.redemption) || str(data.itemName) || 'an item'}`;
			tone = 'redeem';
			break;
		case 'merch':
			phrase = 'bought merch';
			break;
		case 'superchat':
			phrase = amount !== null ? `sent a Super Chat of ${money(amount, data.currency)}` : 'sent a Super Chat';
			tone = 'cheer';
			break;
		case 'sponsor':
			phrase = 'became a member';
			tone = 'sub';
			break;
		default:
			phrase = type || 'activity';
	}
	return {
		name: str(data.displayName) || str(data.username) || 'Someone',
		phrase,
		detail: details.join(' · '),
		message: str(data.message),
		tone,
		time: itemTime(str(item.createdAt), now),
	};
}

// What the replay sends back to StreamElements: the activity itself, without
// the ids of the stored copy.
export function seReplayBody(a) {
	const item = a && typeof a === 'object' ? a : {};
	const body = { type: str(item.type), data: item.data && typeof item.data === 'object' ? item.data : {} };
	if (str(item.provider)) body.provider = item.provider;
	return body;
}

// The reply of "/api/ads": Twitch's answer unchanged, or {"ok":true}.
export function adReplyText(action, reply) {
	const first = list(reply && reply.data)[0] || {};
	if (action === 'start') {
		const length = num(first.length);
		const retry = num(first.retry_after);
		const parts = [length !== null ? `Ad break started (${formatCount(length)} s)` : 'Ad break started'];
		if (retry !== null && retry > 0) parts.push(`next one possible in ${Math.ceil(retry / 60)} min`);
		return parts.join(' · ');
	}
	if (action === 'snooze') {
		const left = num(first.snooze_count);
		return left !== null ? `Next ad snoozed · ${plural(left, 'snooze', 'snoozes')} left` : 'Next ad snoozed';
	}
	return '';
}
