import { post, isOk, errorText } from './api.js';
import { el, feedImage } from './dom.js';
import { clockTime } from './format.js';
import { ModControls } from './moderation.js';

// The card a chat name opens: who the Twitch user is (picture, display name,
// account age) and where they stand in this channel (follow, subscription,
// ban or timeout), with the moderation buttons. "/api/user" answers with
// Twitch's own replies: {"user":…,"follow":…,"sub":…,"ban":…}, the last three
// null when Twitch did not answer (or an error object from Twitch, which
// has no "data" list). Either way that fact reads "Unknown".

const TIERS = { 1000: 'Tier 1', 2000: 'Tier 2', 3000: 'Tier 3' };
const DAY_MS = 86400000;

function text(value) {
	return typeof value === 'string' ? value : '';
}

function first(reply) {
	return reply && typeof reply === 'object' && Array.isArray(reply.data) ? reply.data[0] || null : undefined;
}

function when(value) {
	const t = Date.parse(text(value));
	return Number.isFinite(t) ? t : null;
}

function plural(n, one) {
	return `${n} ${one}${n === 1 ? '' : 's'}`;
}

export function dateText(ms) {
	return new Date(ms).toLocaleDateString('en-US', { year: 'numeric', month: 'short', day: 'numeric' });
}

// "5 years, 2 months", "3 months", "12 days": calendar months, so that an
// account made on 31 January is one month old on 28 February's next day.
export function ageText(from, now) {
	if (!(now >= from)) return '';
	const a = new Date(from);
	const b = new Date(now);
	let months = (b.getFullYear() - a.getFullYear()) * 12 + (b.getMonth() - a.getMonth());
	if (b.getDate() < a.getDate()) months -= 1;
	if (months >= 12) {
		const rest = months % 12;
		return plural(Math.floor(months / 12), 'year') + (rest ? ', ' + plural(rest, 'month') : '');
	}
	if (months >= 1) return plural(months, 'month');
	const days = Math.floor((now - from) / DAY_MS);
	return days >= 1 ? plural(days, 'day') : 'less than a day';
}

// Turns the "/api/user" reply into what the card shows, or {error}.
export function describeUser(reply, now = Date.now()) {
	if (!reply || typeof reply !== 'object') return { error: 'Unexpected reply' };
	if (!isOk(reply)) return { error: errorText(reply) };
	const user = first(reply.user);
	if (!user) return { error: 'Twitch does not know this user' };

	const login = text(user.login);
	const name = text(user.display_name) || login;
	const facts = [];

	const created = when(user.created_at);
	facts.push(['Created', created === null ? 'Unknown' : `${dateText(created)} · ${ageText(created, now)}`]);

	const follow = first(reply.follow);
	const followed = follow ? when(follow.followed_at) : null;
	if (follow === undefined) facts.push(['Follows', 'Unknown']);
	else if (!follow) facts.push(['Follows', 'No']);
	else facts.push(['Follows', followed === null ? 'Yes' : `Since ${dateText(followed)} · ${ageText(followed, now)}`]);

	const sub = first(reply.sub);
	if (sub === undefined) facts.push(['Subscriber', 'Unknown']);
	else if (!sub) facts.push(['Subscriber', 'No']);
	else {
		const tier = TIERS[text(sub.tier)] || 'Yes';
		const gifter = sub.is_gift === true && text(sub.gifter_name) ? ` · gift from ${text(sub.gifter_name)}` : '';
		facts.push(['Subscriber', tier + gifter]);
	}

	// A ban without an end is a ban; one with an end is a timeout.
	const ban = first(reply.ban);
	let standing = 'unknown';
	let chat = 'Unknown';
	if (ban === null) {
		standing = 'ok';
		chat = 'Not banned';
	} else if (ban) {
		const until = when(ban.expires_at);
		if (text(ban.expires_at) === '') {
			standing = 'banned';
			chat = 'Banned';
		} else if (until !== null && until <= now) {
			standing = 'ok';
			chat = 'Not banned';
		} else {
			standing = 'timeout';
			const sameDay = until !== null && new Date(until).toDateString() === new Date(now).toDateString();
			chat = until === null ? 'Timed out' : `Timed out until ${sameDay ? '' : dateText(until) + ', '}${clockTime(until)}`;
		}
		const reason = text(ban.reason);
		if (reason && standing !== 'ok') chat += ` · ${reason}`;
	}
	facts.push(['Chat', chat]);

	return { id: text(user.id), login, name, image: text(user.profile_image_url), facts, standing };
}

export class UserCard {
	// host: the element the card is laid over (the chat's list area).
	constructor(host) {
		this.node = el('section', 'user-card');
		this.node.setAttribute('role', 'dialog');
		this.node.setAttribute('aria-label', 'User card');
		this.node.hidden = true;
		host.append(this.node);
		this.request = 0;
		this.refreshes = 0;
	}

	get open() {
		return !this.node.hidden;
	}

	// who: {userId} or {login}, with the name to show while it loads.
	async show(who) {
		const request = ++this.request;
		this.who = who;
		this.render(this.head(who.name || who.login || 'User', ''), el('p', 'uc-status', 'Loading…'));
		this.node.hidden = false;
		this.node.querySelector('.uc-close').focus();
		const reply = await post('user', who.userId ? { id: who.userId } : { login: who.login });
		if (request !== this.request || this.node.hidden) return;
		const view = describeUser(reply);
		if (view.error) {
			const status = el('p', 'uc-status', view.error);
			status.dataset.kind = 'error';
			this.render(this.head(who.name || who.login || 'User', ''), status);
			return;
		}
		this.view = view;
		const controls = new ModControls(
			{ platform: 'twitch', userId: view.id, name: view.name },
			{ onDone: (action) => action !== 'warn' && this.refresh() }
		);
		this.render(this.head(view.name, view.login, view.image), this.facts(view), controls.node);
	}

	// After a ban, timeout or unban the card shows the new standing.
	async refresh() {
		const request = this.request;
		const refresh = ++this.refreshes;
		const reply = await post('user', { id: this.view.id });
		// Only the newest answer counts: two quick actions may be answered
		// out of order.
		if (request !== this.request || refresh !== this.refreshes || this.node.hidden) return;
		const view = describeUser(reply);
		if (view.error) return;
		this.view = view;
		this.node.querySelector('.uc-facts').replaceWith(this.facts(view));
	}

	close() {
		this.request += 1;
		this.node.hidden = true;
		this.node.replaceChildren();
	}

	head(name, login, image) {
		const head = el('div', 'uc-head');
		const picture = feedImage(image, 'uc-avatar', '');
		if (picture) head.append(picture);
		const names = el('div', 'uc-names');
		names.append(el('div', 'uc-name', name));
		if (login && login.toLowerCase() !== name.toLowerCase()) names.append(el('div', 'uc-login', login));
		const close = el('button', 'uc-close', '×');
		close.type = 'button';
		close.title = 'Close';
		close.setAttribute('aria-label', 'Close the user card');
		close.addEventListener('click', () => this.close());
		head.append(names, close);
		return head;
	}

	facts(view) {
		const list = el('dl', 'uc-facts');
		list.dataset.standing = view.standing;
		for (const [label, value] of view.facts) {
			const row = el('div', 'uc-fact');
			row.dataset.fact = label.toLowerCase();
			row.append(el('dt', '', label), el('dd', '', value));
			list.append(row);
		}
		return list;
	}

	render(...parts) {
		this.node.replaceChildren(...parts);
	}
}
