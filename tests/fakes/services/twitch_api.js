'use strict';
// Fake Twitch REST API: the identity host (token validation, the implicit-grant
// login page) and Helix on one HTTPS listener serving both endpoints
// ("twitch-id" and "twitch-helix"). Helix is a table of routes answering from
// configured data (users, tokens, the channel's lists, streams, emotes,
// badges) with Twitch's shapes and error wording; only bans change with the
// calls (the user card reads them back). Every request is recorded exactly (images under /static/ excepted),
// and scripted answers go ahead of it all.
//
// Every Helix call needs "Authorization: Bearer <configured token>" and a
// Client-Id equal to the token's (401), then passes a configured `fail`, then
// needs one of the route's scopes (401 "Missing scope: ..").
//
// Command (POST /twitch-api/<command>), besides the base's: configure
// {key: value, ..} replaces those keys of defaults(); "tokens" is merged.

const crypto = require('node:crypto');
const { STATUS_CODES } = require('node:http');
const { RecordingService, Answer } = require('../lib/recording');

const CLIENT_ID = 'q3vd8kz0rj5mxw2nb7ty4hc9pl6sa1';

const ALL_SCOPES = [
	'user:read:chat', 'user:write:chat', 'chat:read', 'chat:edit', 'user:read:emotes',
	'moderator:manage:banned_users', 'moderator:manage:chat_messages', 'moderator:manage:chat_settings',
	'moderator:manage:automod', 'moderator:read:chatters', 'moderation:read', 'channel:read:vips',
	'channel:manage:moderators', 'channel:manage:vips', 'user:manage:chat_color',
	'user:manage:blocked_users', 'channel:manage:raids', 'moderator:manage:announcements',
	'moderator:manage:shoutouts', 'channel:manage:broadcast', 'channel:edit:commercial',
	'moderator:read:followers', 'channel:read:subscriptions', 'channel:read:ads', 'channel:manage:ads',
	'channel:read:redemptions', 'moderator:manage:warnings', 'channel:read:polls',
	'channel:read:predictions', 'channel:read:hype_train',
];

const PNG = Buffer.from('iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg==', 'base64');

function refuse(status, message) {
	return new Answer(status, { error: STATUS_CODES[status] || 'Error', status, message });
}

// Twitch writes times without fractions.
function now() {
	return new Date().toISOString().replace(/\.\d{3}Z$/, 'Z');
}

function defaults(base) {
	const user = (id, login, display, createdAt, type = '') => ({
		id, login, display_name: display, type: '', broadcaster_type: type,
		description: `${display} on the test channel`, profile_image_url: `${base}/static/profile/${login}.png`,
		offline_image_url: '', view_count: 0, created_at: createdAt,
	});
	const emote = (id, name, type, owner, setId) => ({
		id,
		name,
		images: Object.fromEntries([['url_1x', '1.0'], ['url_2x', '2.0'], ['url_4x', '3.0']]
			.map(([key, scale]) => [key, `${base}/static/emoticons/v2/${id}/static/light/${scale}`])),
		format: ['static'], scale: ['1.0', '2.0', '3.0'], theme_mode: ['light', 'dark'],
		emote_type: type, emote_set_id: setId, owner_id: owner,
	});
	const badge = (setId, id, title) => ({
		id,
		image_url_1x: `${base}/static/badges/v1/${setId}-${id}/1`,
		image_url_2x: `${base}/static/badges/v1/${setId}-${id}/2`,
		image_url_4x: `${base}/static/badges/v1/${setId}-${id}/3`,
		title, description: title, click_action: null, click_url: null,
	});
	return {
		// The channel the lists below describe; other channels have none.
		channelId: '1001',
		tokens: {
			'tok-streamer': { login: 'streamer', user_id: '1001', client_id: CLIENT_ID, scopes: [...ALL_SCOPES] },
			'tok-mod': { login: 'helper', user_id: '5005', client_id: CLIENT_ID, scopes: [...ALL_SCOPES] },
		},
		users: [
			user('1001', 'streamer', 'Streamer', '2016-03-14T18:02:11Z', 'affiliate'),
			user('2002', 'someone', 'Someone', '2019-11-02T09:15:40Z'),
			user('3003', 'raider', 'Raider', '2018-06-21T21:44:05Z', 'partner'),
			user('4004', 'friend', 'Friend', '2020-01-30T12:00:00Z'),
			user('5005', 'helper', 'Helper', '2017-08-09T07:30:00Z'),
			user('6006', 'nightbot', 'Nightbot', '2014-01-01T00:00:00Z'),
		],
		// {code, message}: the next chat message is not sent.
		dropNext: null,
		moderators: ['5005', '6006'],
		vips: ['4004'],
		banned: [],
		followers: [
			{ user_id: '2002', followed_at: '2024-03-01T18:20:00Z' },
			{ user_id: '3003', followed_at: '2023-12-24T10:05:00Z' },
		],
		subscribers: [{ user_id: '2002', tier: '1000', is_gift: false }],
		chatters: ['1001', '2002', '3003', '4004', '5005', '6006'],
		// Live streams by user id; a missing id is offline.
		streams: { 1001: { viewer_count: 42, title: 'Testing the plug-in', game_name: 'Just Chatting' } },
		// The answer of GET /helix/chat/pins: an object (JSON-encoded) or a raw text.
		pins: { data: [] },
		emoteTemplate: `${base}/static/emoticons/v2/{{id}}/{{format}}/{{theme_mode}}/{{scale}}`,
		channelEmotes: {
			1001: [
				emote('emotesv2_c1', 'strmHi', 'subscriptions', '1001', '300000001'),
				emote('emotesv2_c2', 'strmLove', 'follower', '1001', '300000002'),
			],
		},
		// The token user's emotes (GET /helix/chat/emotes/user).
		userEmotes: [
			emote('emotesv2_c1', 'strmHi', 'subscriptions', '1001', '300000001'),
			emote('emotesv2_r1', 'raidPog', 'subscriptions', '3003', '300000010'),
			emote('emotesv2_f1', 'frndWave', 'follower', '4004', '300000020'),
			emote('25', 'Kappa', 'globals', '0', '0'),
		],
		globalEmotes: [emote('25', 'Kappa', 'globals', '', '0'), emote('354', '4Head', 'globals', '', '0')],
		globalBadges: [
			{ set_id: 'broadcaster', versions: [badge('broadcaster', '1', 'Broadcaster')] },
			{ set_id: 'moderator', versions: [badge('moderator', '1', 'Moderator')] },
			{ set_id: 'vip', versions: [badge('vip', '1', 'VIP')] },
			{ set_id: 'subscriber', versions: [badge('subscriber', '0', 'Subscriber'), badge('subscriber', '12', '1-Year Subscriber')] },
		],
		channelBadges: {
			1001: [{ set_id: 'subscriber', versions: [badge('subscriber', '0', 'Streamer Sub'), badge('subscriber', '12', 'Streamer Year')] }],
		},
		ads: { last_ad_at: 1714590000, duration: 60, preroll_free_time: 0, snooze_count: 3, snooze_refresh_at: 1714593600 },
		// Ids of messages AutoMod holds; null accepts any id.
		heldMessages: null,
		// [{type, version (any when left out), status = 403, message}]
		refuseSubscriptions: [],
		// {"GET /helix/chat/chatters": n}: page size, ahead of "first".
		pageSize: {},
		// {"GET /helix/chat/chatters": {status, message, body, page}}: that
		// call fails (only its page-th page when page is given).
		fail: {},
	};
}

// The cursor of a page holds its offset and number (for `fail.page`).
function cursorOf(q) {
	const after = q.get('after');
	return after ? JSON.parse(Buffer.from(after, 'base64').toString('utf8')) : { o: 0, p: 1 };
}

// A page of a list: {data, pagination}, a cursor only when more follow.
function page(ctx, list, defaultSize) {
	const cursor = cursorOf(ctx.q);
	const size = Number(ctx.self.state.pageSize[ctx.key] || ctx.q.get('first') || defaultSize);
	const more = cursor.o + size < list.length;
	const next = Buffer.from(JSON.stringify({ o: cursor.o + size, p: cursor.p + 1 })).toString('base64');
	return { data: list.slice(cursor.o, cursor.o + size), pagination: more ? { cursor: next } : {} };
}

function jsonBody(ctx) {
	try {
		const value = JSON.parse(ctx.body);
		if (typeof value === 'object' && value !== null) return value;
	} catch {
		// answered below
	}
	throw refuse(400, 'The request body is malformed.');
}

// Who a list entry is: {user_id, user_login, user_name, ...the entry}.
function person(self, entry) {
	const item = typeof entry === 'object' && entry !== null ? { ...entry } : { user_id: String(entry) };
	const key = item.user_id !== undefined ? item.user_id : item.user_login;
	const known = self.userById(key) || self.userByLogin(key);
	if (known) return { ...item, user_id: known.id, user_login: known.login, user_name: item.user_name || known.display_name };
	const name = String(key || '');
	return { user_id: name, user_login: name.toLowerCase(), user_name: name, ...item };
}

function people(self, key, bid) {
	return bid === self.state.channelId ? (self.state[key] || []).map((entry) => person(self, entry)) : [];
}

function wanted(q, name) {
	return q.getAll(name).filter(Boolean);
}

// A list of the channel as a paged answer, filtered by user_id when asked.
function listed(key, size = 20) {
	return (ctx) => {
		const ids = wanted(ctx.q, 'user_id');
		const list = people(ctx.self, key, ctx.q.get('broadcaster_id'))
			.filter((p) => !ids.length || ids.includes(p.user_id));
		return [200, { total: list.length, ...page(ctx, list, size) }];
	};
}

function streamOf(self, id) {
	const user = self.userById(id) || { id, login: String(id), display_name: String(id) };
	return {
		id: `4120${id}`, user_id: user.id, user_login: user.login, user_name: user.display_name, game_id: '509658',
		game_name: 'Just Chatting', type: 'live', title: '', viewer_count: 0, started_at: '2024-05-01T18:00:00Z',
		language: 'en', thumbnail_url: `${self.root('twitch-helix')}/static/previews/live_user_${user.login}-{width}x{height}.jpg`,
		tags: ['English'], is_mature: false, ...self.state.streams[id],
	};
}

const emotes = (self, data, extra = {}) => ({ data, template: self.state.emoteTemplate, ...extra });
const ok = () => [204];

// Helix: [method, path, scopes (any of), answer(ctx) -> [status, body]].
const HELIX = [
	['GET', '/helix/users', '', (ctx) => {
		const ids = wanted(ctx.q, 'id');
		const logins = wanted(ctx.q, 'login').map((login) => login.toLowerCase());
		if (!ids.length && !logins.length) return [200, { data: [ctx.self.userById(ctx.token.user_id)].filter(Boolean) }];
		return [200, { data: ctx.self.state.users.filter((u) => ids.includes(u.id) || logins.includes(u.login)) }];
	}],
	['POST', '/helix/chat/messages', 'user:write:chat', (ctx) => {
		jsonBody(ctx);
		const drop = ctx.self.state.dropNext;
		ctx.self.state.dropNext = null;
		if (drop) return [200, { data: [{ message_id: '', is_sent: false, drop_reason: { code: drop.code || 'msg_rejected', message: drop.message || '' } }] }];
		return [200, { data: [{ message_id: crypto.randomUUID(), is_sent: true, drop_reason: null }] }];
	}],
	['POST', '/helix/moderation/bans', 'moderator:manage:banned_users', (ctx) => {
		const data = jsonBody(ctx).data || {};
		const bid = ctx.q.get('broadcaster_id');
		const uid = String(data.user_id);
		const banned = people(ctx.self, 'banned', bid);
		const ends = data.duration ? new Date(Date.now() + data.duration * 1000).toISOString() : null;
		if (bid === ctx.self.state.channelId) {
			ctx.self.state.banned = [...banned.filter((p) => p.user_id !== uid), { user_id: uid, expires_at: ends || '', reason: data.reason || '' }];
		}
		return [200, { data: [{ broadcaster_id: bid, moderator_id: ctx.q.get('moderator_id'), user_id: uid, created_at: now(), end_time: ends }] }];
	}],
	['DELETE', '/helix/moderation/bans', 'moderator:manage:banned_users', (ctx) => {
		const uid = ctx.q.get('user_id');
		const banned = people(ctx.self, 'banned', ctx.q.get('broadcaster_id'));
		if (!banned.some((p) => p.user_id === uid)) throw refuse(400, 'The user specified in the user_id field is not banned.');
		ctx.self.state.banned = banned.filter((p) => p.user_id !== uid);
		return [204];
	}],
	['GET', '/helix/moderation/banned', 'moderation:read moderator:manage:banned_users', listed('banned')],
	['DELETE', '/helix/moderation/chat', 'moderator:manage:chat_messages', ok],
	['PATCH', '/helix/chat/settings', 'moderator:manage:chat_settings', (ctx) => [200, { data: [jsonBody(ctx)] }]],
	['GET', '/helix/moderation/moderators', 'moderation:read channel:manage:moderators', listed('moderators')],
	['POST', '/helix/moderation/moderators', 'channel:manage:moderators', ok],
	['DELETE', '/helix/moderation/moderators', 'channel:manage:moderators', ok],
	['GET', '/helix/channels/vips', 'channel:read:vips channel:manage:vips', listed('vips')],
	['POST', '/helix/channels/vips', 'channel:manage:vips', ok],
	['DELETE', '/helix/channels/vips', 'channel:manage:vips', ok],
	['PUT', '/helix/chat/color', 'user:manage:chat_color', ok],
	['PUT', '/helix/users/blocks', 'user:manage:blocked_users', ok],
	['DELETE', '/helix/users/blocks', 'user:manage:blocked_users', ok],
	['POST', '/helix/raids', 'channel:manage:raids', () => [200, { data: [{ created_at: now(), is_mature: false }] }]],
	['DELETE', '/helix/raids', 'channel:manage:raids', ok],
	['POST', '/helix/chat/announcements', 'moderator:manage:announcements', ok],
	['POST', '/helix/chat/shoutouts', 'moderator:manage:shoutouts', ok],
	['POST', '/helix/streams/markers', 'channel:manage:broadcast', (ctx) => {
		const body = jsonBody(ctx);
		if (!ctx.self.state.streams[body.user_id]) throw refuse(404, 'The user in the user_id field is not streaming live.');
		return [200, { data: [{ id: '100000', created_at: now(), description: body.description || '', position_seconds: 244 }] }];
	}],
	['POST', '/helix/channels/commercial', 'channel:edit:commercial', (ctx) =>
		[200, { data: [{ length: Math.min(Number(jsonBody(ctx).length), 180), message: '', retry_after: 480 }] }]],
	['GET', '/helix/channels/ads', 'channel:read:ads channel:manage:ads', (ctx) =>
		[200, { data: [{ next_ad_at: Math.floor(Date.now() / 1000) + 900, ...ctx.self.state.ads }] }]],
	['POST', '/helix/channels/ads/schedule/snooze', 'channel:manage:ads', (ctx) =>
		[200, { data: [{ snooze_count: 2, snooze_refresh_at: ctx.self.state.ads.snooze_refresh_at, next_ad_at: 1714591200 }] }]],
	['POST', '/helix/moderation/warnings', 'moderator:manage:warnings', (ctx) => [200, { data: [jsonBody(ctx).data] }]],
	['GET', '/helix/channels/followers', '', listed('followers')],
	['GET', '/helix/subscriptions', 'channel:read:subscriptions', (ctx) => {
		const [status, answer] = listed('subscribers')(ctx);
		answer.data = answer.data.map((p) => ({ ...p, tier: p.tier || '1000', is_gift: Boolean(p.is_gift), plan_name: 'Channel Subscription' }));
		return [status, { ...answer, points: answer.total }];
	}],
	['POST', '/helix/moderation/automod/message', 'moderator:manage:automod', (ctx) => {
		const id = String(jsonBody(ctx).msg_id);
		const held = ctx.self.state.heldMessages;
		if (Array.isArray(held) && !held.includes(id)) throw refuse(400, 'The message specified in the msg_id field was not found.');
		return [204];
	}],
	['POST', '/helix/eventsub/subscriptions', '', (ctx) => [202, subscribe(ctx.self, jsonBody(ctx))]],
	['GET', '/helix/chat/emotes/user', 'user:read:emotes', (ctx) => {
		// Twitch chooses this page size itself: "first" is ignored.
		const q = new URLSearchParams(ctx.q);
		q.delete('first');
		const { data, pagination } = page({ ...ctx, q }, ctx.self.state.userEmotes, 100);
		return [200, emotes(ctx.self, data, { pagination })];
	}],
	['GET', '/helix/chat/emotes/global', '', (ctx) => [200, emotes(ctx.self,
		ctx.self.state.globalEmotes.map(({ owner_id, emote_type, emote_set_id, ...rest }) => rest))]],
	['GET', '/helix/chat/emotes', '', (ctx) => [200, emotes(ctx.self,
		(ctx.self.state.channelEmotes[ctx.q.get('broadcaster_id')] || []).map(({ owner_id, ...rest }) =>
			({ ...rest, tier: rest.emote_type === 'subscriptions' ? '1000' : '' })))]],
	['GET', '/helix/chat/badges/global', '', (ctx) => [200, { data: ctx.self.state.globalBadges }]],
	['GET', '/helix/chat/badges', '', (ctx) => [200, { data: ctx.self.state.channelBadges[ctx.q.get('broadcaster_id')] || [] }]],
	['GET', '/helix/chat/chatters', 'moderator:read:chatters', (ctx) => {
		const [status, answer] = listed('chatters', 100)(ctx);
		answer.data = answer.data.map(({ user_id, user_login, user_name }) => ({ user_id, user_login, user_name }));
		return [status, answer];
	}],
	['GET', '/helix/streams', '', (ctx) => {
		const ids = [...wanted(ctx.q, 'user_id'), ...wanted(ctx.q, 'user_login').map((login) => (ctx.self.userByLogin(login) || {}).id)];
		const list = Object.keys(ctx.self.state.streams).filter((id) => !ids.length || ids.includes(id)).map((id) => streamOf(ctx.self, id));
		return [200, page(ctx, list, 20)];
	}],
	['GET', '/helix/chat/pins', '', (ctx) => [200, ctx.self.state.pins]],
];

function subscribe(self, { type, version, condition, transport }) {
	const refusal = self.state.refuseSubscriptions.find((r) => r.type === type &&
		(r.version === undefined || String(r.version) === String(version)));
	if (refusal) throw refuse(Number(refusal.status || 403), refusal.message ?? 'subscription missing proper authorization');
	const subscription = { id: crypto.randomUUID(), status: 'enabled', type, version, condition, transport, cost: 0 };
	return { data: [subscription], total: 1, total_cost: 0, max_total_cost: 10 };
}

class TwitchApi extends RecordingService {
	constructor(context) {
		super(context, 'twitch-api', { 'twitch-helix': 'server' });
		this.routes = [
			{ method: 'GET', match: /^\/static\//, unrecorded: true, answer: () => new Answer(200, PNG, { 'Content-Type': 'image/png' }) },
			{ method: 'GET', path: '/oauth2/validate', answer: (ctx) => this.validate(ctx) },
			{ method: 'GET', path: '/oauth2/authorize', answer: (ctx) => this.authorize(ctx) },
			...HELIX.map(([method, path, scopes, answer]) => ({ method, path, answer: (ctx) => this.helix(ctx, scopes, answer) })),
		];
	}

	async start() {
		await super.start();
		this.endpoints['twitch-id'] = this.endpoints['twitch-helix'];
		this.fresh();
	}

	fresh() {
		if (this.listeners.size) this.state = defaults(this.root('twitch-helix'));
	}

	missing() {
		return refuse(404, '');
	}

	userById(id) {
		return this.state.users.find((u) => u.id === String(id)) || null;
	}

	userByLogin(login) {
		return this.state.users.find((u) => u.login === String(login || '').toLowerCase()) || null;
	}

	// A token entry with its gaps filled (client id, scopes, login <-> id).
	token(token) {
		const entry = Object.prototype.hasOwnProperty.call(this.state.tokens, token) ? this.state.tokens[token] : null;
		if (!entry) return null;
		const known = entry.user_id !== undefined ? this.userById(entry.user_id) : this.userByLogin(entry.login);
		return {
			...entry,
			client_id: entry.client_id === undefined ? CLIENT_ID : entry.client_id,
			scopes: Array.isArray(entry.scopes) ? entry.scopes : [...ALL_SCOPES],
			user_id: String(entry.user_id ?? (known ? known.id : '')),
			login: String(entry.login ?? (known ? known.login : '')),
		};
	}

	helix(ctx, scopes, answer) {
		const auth = ctx.req.headers.authorization || '';
		const token = this.token(auth.startsWith('Bearer ') ? auth.slice(7) : '');
		const clientId = ctx.req.headers['client-id'];
		if (!token || !clientId) throw refuse(401, 'Invalid OAuth token');
		if (token.client_id && clientId !== token.client_id) throw refuse(401, 'Client ID and OAuth token do not match');
		const key = `${ctx.req.method} ${ctx.url.pathname}`;
		const failure = this.state.fail[key];
		if (failure && (failure.page === undefined || Number(failure.page) === cursorOf(ctx.q).p)) {
			const status = Number(failure.status || 500);
			if (failure.body !== undefined) throw new Answer(status, failure.body === '' ? undefined : failure.body);
			throw refuse(status, String(failure.message ?? ''));
		}
		const needed = scopes.split(' ').filter(Boolean);
		if (needed.length && !needed.some((scope) => token.scopes.includes(scope))) throw refuse(401, `Missing scope: ${needed[0]}`);
		const [status, body] = answer({ ...ctx, token, key, self: this });
		return new Answer(status, status === 204 ? undefined : body);
	}

	validate({ req }) {
		const auth = req.headers.authorization || '';
		if (!auth) return new Answer(401, { status: 401, message: 'missing authorization token' });
		const entry = auth.startsWith('OAuth ') ? this.token(auth.slice(6)) : null;
		if (!entry) return new Answer(401, { status: 401, message: 'invalid access token' });
		// A token with a body of its own answers with it.
		if (entry.body !== undefined) return new Answer(200, entry.body);
		const { client_id, login, scopes, user_id } = entry;
		return new Answer(200, { client_id, login, scopes, user_id, expires_in: 5000000 });
	}

	// The implicit-grant page: straight back to the redirect address.
	authorize({ q }) {
		const text = (message) => new Answer(400, `${message}\n`, { 'Content-Type': 'text/plain; charset=utf-8' });
		if (!q.get('client_id') || !q.get('redirect_uri') || q.get('response_type') !== 'token') return text('Bad Request');
		// "+" in the query is a space: the scopes arrive space-separated.
		const scopes = (q.get('scope') || '').split(/\s+/).filter(Boolean);
		const location = `${q.get('redirect_uri')}#access_token=tok-streamer` +
			`&scope=${scopes.map(encodeURIComponent).join('%20')}` +
			`&state=${encodeURIComponent(q.get('state') || '')}&token_type=bearer`;
		return new Answer(302, undefined, { Location: location });
	}

	command_configure(args) {
		const { tokens, ...rest } = args;
		Object.assign(this.state.tokens, tokens);
		Object.assign(this.state, rest);
	}
}

module.exports = { TwitchApi, CLIENT_ID, ALL_SCOPES };
