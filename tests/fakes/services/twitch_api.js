'use strict';
// Fake Twitch REST API: the identity host (token validation, the implicit-grant
// login page) and Helix, on one HTTPS listener that serves both endpoints
// ("twitch-id" and "twitch-helix"). Answers follow Twitch's shapes and error
// rules: Bearer token + Client-Id on every Helix call, the token's client id
// must match, scopes and the moderator/sender/user ids are checked against the
// token, missing parameters give 400 with Twitch's wording. Every request is
// recorded exactly as it arrived (images under /static/ excepted).
//
//   GET /oauth2/validate        "Authorization: OAuth <token>"
//   GET /oauth2/authorize?..    302 to redirect_uri#access_token=..
//   /helix/...                  see ROUTES below
//   GET /static/...             a 1x1 PNG (profile pictures, emotes, badges)
//
// Commands (POST /twitch-api/<command>):
//   configure {key: value, ..}  replaces those keys of the state (see
//                               defaults()); "tokens" is merged per token (null
//                               deletes one), "users" merged by id ({id,
//                               remove: true} deletes one); list entries of
//                               moderators, vips, chatters, followers,
//                               subscribers, banned may be a login or id string
//   script    {method = "*", path, status = 200, body, headers, once,
//              delayMs, drop}       the answer for method + pathname (query
//                               ignored), ahead of everything else; a later
//                               script for the same key replaces the earlier;
//                               "once" scripts are used once and come first
//   clearScripts {}
//   requests  {clear}          {requests: [{method, path, headers: [[n, v]..], body}]}
//   state     {}               the whole state (after the calls so far)
//   reset     {}

const https = require('node:https');
const crypto = require('node:crypto');
const { Listener } = require('../lib/listener');
const { tlsOptions } = require('../certs');
const { headerPairs } = require('../lib/headers');

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

const STATUS_TEXT = {
	400: 'Bad Request', 401: 'Unauthorized', 403: 'Forbidden', 404: 'Not Found', 409: 'Conflict',
	410: 'Gone', 422: 'Unprocessable Entity', 425: 'Too Early', 429: 'Too Many Requests',
	500: 'Internal Server Error', 502: 'Bad Gateway', 503: 'Service Unavailable',
};

const CHAT_COLORS = ['blue', 'blue_violet', 'cadet_blue', 'chocolate', 'coral', 'dodger_blue', 'firebrick',
	'golden_rod', 'green', 'hot_pink', 'orange_red', 'red', 'sea_green', 'spring_green', 'yellow_green'];

// EventSub types the module creates: versions Twitch accepts, the scope the
// token needs, and whose id the condition must carry (the token's user).
const EVENTSUB_TYPES = {
	'automod.message.hold': { versions: ['1', '2'], scope: 'moderator:manage:automod', by: 'moderator' },
	'automod.message.update': { versions: ['1', '2'], scope: 'moderator:manage:automod', by: 'moderator' },
	'channel.follow': { versions: ['2'], scope: 'moderator:read:followers', by: 'moderator' },
	'channel.channel_points_custom_reward_redemption.add': { versions: ['1'], scope: 'channel:read:redemptions', by: 'broadcaster' },
	'channel.poll.begin': { versions: ['1'], scope: 'channel:read:polls', by: 'broadcaster' },
	'channel.poll.progress': { versions: ['1'], scope: 'channel:read:polls', by: 'broadcaster' },
	'channel.poll.end': { versions: ['1'], scope: 'channel:read:polls', by: 'broadcaster' },
	'channel.prediction.begin': { versions: ['1'], scope: 'channel:read:predictions', by: 'broadcaster' },
	'channel.prediction.progress': { versions: ['1'], scope: 'channel:read:predictions', by: 'broadcaster' },
	'channel.prediction.lock': { versions: ['1'], scope: 'channel:read:predictions', by: 'broadcaster' },
	'channel.prediction.end': { versions: ['1'], scope: 'channel:read:predictions', by: 'broadcaster' },
	'channel.hype_train.begin': { versions: ['1', '2'], scope: 'channel:read:hype_train', by: 'broadcaster' },
	'channel.hype_train.progress': { versions: ['1', '2'], scope: 'channel:read:hype_train', by: 'broadcaster' },
	'channel.hype_train.end': { versions: ['1', '2'], scope: 'channel:read:hype_train', by: 'broadcaster' },
};

// Twitch writes times without fractions.
function now() {
	return new Date().toISOString().replace(/\.\d{3}Z$/, 'Z');
}

// A thrown answer: ends the handling of a request with this status and body.
class Answer {
	constructor(status, body) {
		this.status = status;
		this.body = body;
	}
}

function refuse(status, message) {
	return new Answer(status, { error: STATUS_TEXT[status] || 'Error', status, message });
}

function defaults(base) {
	const user = (id, login, display, createdAt, type = '') => ({
		id,
		login,
		display_name: display,
		type: '',
		broadcaster_type: type,
		description: `${display} on the test channel`,
		profile_image_url: `${base}/static/profile/${login}.png`,
		offline_image_url: '',
		view_count: 0,
		created_at: createdAt,
	});
	const emote = (id, name, type, owner, setId) => ({
		id,
		name,
		images: {
			url_1x: `${base}/static/emoticons/v2/${id}/static/light/1.0`,
			url_2x: `${base}/static/emoticons/v2/${id}/static/light/2.0`,
			url_4x: `${base}/static/emoticons/v2/${id}/static/light/3.0`,
		},
		format: ['static'],
		scale: ['1.0', '2.0', '3.0'],
		theme_mode: ['light', 'dark'],
		emote_type: type,
		emote_set_id: setId,
		owner_id: owner,
	});
	const badge = (setId, id, title) => ({
		id,
		image_url_1x: `${base}/static/badges/v1/${setId}-${id}/1`,
		image_url_2x: `${base}/static/badges/v1/${setId}-${id}/2`,
		image_url_4x: `${base}/static/badges/v1/${setId}-${id}/3`,
		title,
		description: title,
		click_action: null,
		click_url: null,
	});
	return {
		base,
		// The channel whose moderators, VIPs, chatters, followers, subscribers
		// and bans the lists below describe; other channels have none.
		channelId: '1001',
		tokens: {
			'tok-streamer': { login: 'streamer', user_id: '1001', client_id: CLIENT_ID, scopes: [...ALL_SCOPES] },
			'tok-mod': { login: 'helper', user_id: '5005', client_id: CLIENT_ID, scopes: [...ALL_SCOPES] },
		},
		authorizeToken: 'tok-streamer',
		users: [
			user('1001', 'streamer', 'Streamer', '2016-03-14T18:02:11Z', 'affiliate'),
			user('2002', 'someone', 'Someone', '2019-11-02T09:15:40Z'),
			user('3003', 'raider', 'Raider', '2018-06-21T21:44:05Z', 'partner'),
			user('4004', 'friend', 'Friend', '2020-01-30T12:00:00Z'),
			user('5005', 'helper', 'Helper', '2017-08-09T07:30:00Z'),
			user('6006', 'nightbot', 'Nightbot', '2014-01-01T00:00:00Z'),
		],
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
		chatSettings: {
			emote_mode: false, follower_mode: false, follower_mode_duration: null,
			non_moderator_chat_delay: false, non_moderator_chat_delay_duration: null,
			slow_mode: false, slow_mode_wait_time: null, subscriber_mode: false, unique_chat_mode: false,
		},
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
		globalEmotes: [
			emote('25', 'Kappa', 'globals', '', '0'),
			emote('354', '4Head', 'globals', '', '0'),
		],
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
		// Changed by the calls:
		subscriptions: [],
		blocks: [],
		colors: {},
		pendingRaid: null,
		sentMessages: [],
		markers: [],
	};
}

class TwitchApi {
	constructor(context) {
		this.context = context;
		this.name = 'twitch-api';
		this.records = [];
		this.scripts = [];
	}

	async start() {
		this.server = https.createServer(tlsOptions(this.context.certs.server), (req, res) => this.request(req, res));
		this.server.on('tlsClientError', () => {});
		this.server.on('clientError', (error, socket) => socket.destroy());
		this.listener = new Listener(this.name, this.server);
		const port = await this.listener.listen();
		this.base = `https://127.0.0.1:${port}`;
		this.state = defaults(this.base);
		this.endpoints = { 'twitch-helix': port, 'twitch-id': port };
	}

	async stop() {
		await this.listener.close();
	}

	request(req, res) {
		const chunks = [];
		req.on('data', (chunk) => chunks.push(chunk));
		req.on('end', () => {
			res.on('error', () => {});
			const body = Buffer.concat(chunks).toString('utf8');
			const url = new URL(req.url, 'https://127.0.0.1');
			if (req.method === 'GET' && url.pathname.startsWith('/static/')) {
				res.writeHead(200, { 'Content-Type': 'image/png', 'Content-Length': PNG.length });
				res.end(PNG);
				return;
			}
			this.records.push({ method: req.method, path: req.url, headers: headerPairs(req.rawHeaders), body });
			const script = this.findScript(req.method, url.pathname);
			if (script) {
				this.scripted(script, res);
				return;
			}
			let answer;
			try {
				answer = this.answer(req, url, body);
			} catch (error) {
				if (error instanceof Answer) {
					answer = error;
				} else {
					this.context.log(`twitch-api: ${error && error.stack ? error.stack : error}`);
					answer = refuse(500, 'Internal Server Error');
				}
			}
			this.send(res, answer.status, answer.body, answer.headers);
		});
	}

	send(res, status, body, headers = {}) {
		const all = { ...headers };
		let data = Buffer.alloc(0);
		if (body !== undefined && body !== null) {
			data = Buffer.from(typeof body === 'string' ? body : JSON.stringify(body), 'utf8');
			if (!Object.keys(all).some((name) => name.toLowerCase() === 'content-type')) {
				all['Content-Type'] = 'application/json; charset=utf-8';
			}
		}
		all['Content-Length'] = data.length;
		res.writeHead(status, all);
		res.end(data);
	}

	findScript(method, pathname) {
		const matches = (s) => s.path === pathname && (s.method === '*' || s.method === method);
		const once = this.scripts.findIndex((s) => s.once && matches(s));
		if (once >= 0) return this.scripts.splice(once, 1)[0];
		return this.scripts.find((s) => !s.once && s.method === method && s.path === pathname) ||
			this.scripts.find((s) => !s.once && matches(s));
	}

	scripted(script, res) {
		const go = () => {
			if (script.drop) {
				res.socket.destroy();
				return;
			}
			const body = script.body === undefined ? '' : script.body;
			this.send(res, Number(script.status || 200), body === '' ? undefined : body, script.headers);
		};
		if (script.delayMs) setTimeout(go, Number(script.delayMs));
		else go();
	}

	answer(req, url, body) {
		if (url.pathname.startsWith('/oauth2/')) return this.identity(req, url);
		if (!url.pathname.startsWith('/helix/')) throw refuse(404, '');
		const route = ROUTES.find((r) => r.method === req.method && r.path === url.pathname);
		if (!route) throw refuse(404, '');
		const token = this.authorise(req);
		const q = url.searchParams;
		const key = `${req.method} ${url.pathname}`;
		const failure = this.state.fail[key];
		if (failure && (failure.page === undefined || Number(failure.page) === pageNumber(q))) {
			const status = Number(failure.status || 500);
			if (failure.body !== undefined) throw new Answer(status, failure.body === '' ? undefined : failure.body);
			throw refuse(status, failure.message === undefined ? '' : String(failure.message));
		}
		const scopes = [].concat(route.scope || []);
		if (scopes.length && !scopes.some((scope) => token.scopes.includes(scope))) {
			throw refuse(401, `Missing scope: ${scopes[0]}`);
		}
		const ctx = { req, q, body, token, key, self: this };
		const [status, reply] = route.handle.call(this, ctx);
		const headers = { 'Ratelimit-Limit': '800', 'Ratelimit-Remaining': '799', 'Ratelimit-Reset': String(Math.floor(Date.now() / 1000) + 60) };
		return { status, body: status === 204 ? undefined : reply, headers };
	}

	// The token entry of a Bearer token with the right client id, or a 401.
	authorise(req) {
		const auth = req.headers.authorization || '';
		const token = auth.startsWith('Bearer ') ? auth.slice(7) : '';
		const entry = this.token(token);
		const clientId = req.headers['client-id'];
		if (!entry || entry.revoked || Number(entry.status) === 401 || !clientId) {
			throw refuse(401, 'Invalid OAuth token');
		}
		if (entry.client_id && clientId !== entry.client_id) throw refuse(401, 'Client ID and OAuth token do not match');
		return entry;
	}

	// A token entry with its gaps filled (client id, scopes, login <-> id).
	token(token) {
		if (!token || !Object.prototype.hasOwnProperty.call(this.state.tokens, token)) return null;
		const entry = this.state.tokens[token];
		if (!entry) return null;
		const byId = entry.user_id !== undefined ? null : this.userByLogin(entry.login);
		const byLogin = entry.login !== undefined ? null : this.userById(entry.user_id);
		return {
			...entry,
			client_id: entry.client_id === undefined ? CLIENT_ID : entry.client_id,
			scopes: Array.isArray(entry.scopes) ? entry.scopes : [...ALL_SCOPES],
			user_id: entry.user_id !== undefined ? String(entry.user_id) : (byId ? byId.id : ''),
			login: entry.login !== undefined ? String(entry.login) : (byLogin ? byLogin.login : ''),
		};
	}

	identity(req, url) {
		if (req.method === 'GET' && url.pathname === '/oauth2/validate') {
			const auth = req.headers.authorization || '';
			if (!auth) throw new Answer(401, { status: 401, message: 'missing authorization token' });
			const entry = auth.startsWith('OAuth ') ? this.token(auth.slice(6)) : null;
			if (!entry || entry.revoked) throw new Answer(401, { status: 401, message: 'invalid access token' });
			const status = Number(entry.status || 200);
			if (entry.body !== undefined) return { status, body: entry.body === '' ? undefined : entry.body };
			return {
				status,
				body: {
					client_id: entry.client_id,
					login: entry.login,
					scopes: entry.scopes,
					user_id: entry.user_id,
					expires_in: entry.expires_in === undefined ? 5000000 : entry.expires_in,
				},
			};
		}
		if (req.method === 'GET' && url.pathname === '/oauth2/authorize') {
			const q = url.searchParams;
			const text = (status, message) => ({ status, body: `${message}\n`, headers: { 'Content-Type': 'text/plain; charset=utf-8' } });
			if (!q.get('client_id')) return text(400, 'Bad Request: missing client_id');
			if (!q.get('redirect_uri')) return text(400, 'Bad Request: missing redirect_uri');
			if (q.get('response_type') !== 'token') return text(400, 'Bad Request: unsupported response_type');
			// "+" in the query is a space: the scopes arrive space-separated.
			const scopes = (q.get('scope') || '').split(/\s+/).filter(Boolean);
			const location = `${q.get('redirect_uri')}#access_token=${encodeURIComponent(this.state.authorizeToken || '')}` +
				`&scope=${scopes.map(encodeURIComponent).join('%20')}` +
				`&state=${encodeURIComponent(q.get('state') || '')}&token_type=bearer`;
			return { status: 302, body: undefined, headers: { Location: location } };
		}
		throw new Answer(404, { status: 404, message: 'Not Found' });
	}

	userById(id) {
		return this.state.users.find((u) => u.id === String(id)) || null;
	}

	userByLogin(login) {
		const lower = String(login || '').toLowerCase();
		return this.state.users.find((u) => u.login === lower) || null;
	}

	// {user_id, user_login, user_name, ...extra} of a list entry: a string (id
	// or login) or an object with at least user_id or user_login.
	person(entry) {
		const item = typeof entry === 'object' && entry !== null ? { ...entry } : { user_id: String(entry) };
		const key = item.user_id !== undefined ? item.user_id : item.user_login;
		const known = this.userById(key) || this.userByLogin(key);
		if (known) {
			return { ...item, user_id: known.id, user_login: known.login, user_name: item.user_name || known.display_name };
		}
		const name = String(key || '');
		return { user_id: name, user_login: name.toLowerCase(), user_name: name, ...item };
	}

	people(key, bid) {
		if (bid !== this.state.channelId) return [];
		return (this.state[key] || []).map((entry) => this.person(entry));
	}

	isModerator(userId, bid) {
		if (userId === bid) return true;
		return this.people('moderators', bid).some((p) => p.user_id === userId);
	}

	// The moderator_id query must be the token's user and a moderator of bid.
	moderating(ctx, bid) {
		const mid = need(ctx.q, 'moderator_id');
		tokenUser(ctx, mid, 'moderator_id');
		if (!this.isModerator(mid, bid)) {
			throw refuse(403, "The user in moderator_id is not one of the broadcaster's moderators.");
		}
		return mid;
	}

	// Changes a list of the channel; calls on other channels change nothing.
	editList(key, bid, change) {
		if (bid !== this.state.channelId) return;
		this.state[key] = change((this.state[key] || []).map((entry) => this.person(entry)));
	}

	async command(name, args) {
		switch (name) {
		case 'configure':
			this.configure(args);
			return { ok: true };
		case 'script':
			if (!args.path) throw new Error('script needs a path');
			{
				const script = { ...args, method: String(args.method || '*').toUpperCase(), path: String(args.path) };
				if (!script.once) {
					this.scripts = this.scripts.filter((s) => s.once || s.method !== script.method || s.path !== script.path);
				}
				this.scripts.push(script);
			}
			return { ok: true };
		case 'clearScripts':
			this.scripts = [];
			return { ok: true };
		case 'requests': {
			const requests = this.records;
			if (args.clear) this.records = [];
			return { requests };
		}
		case 'state':
			return this.state;
		case 'reset':
			await this.reset();
			return { ok: true };
		default:
			throw new Error(`twitch-api: unknown command ${name}`);
		}
	}

	configure(args) {
		for (const [key, value] of Object.entries(args)) {
			if (key === 'tokens') {
				for (const [token, entry] of Object.entries(value || {})) {
					if (entry === null) delete this.state.tokens[token];
					else this.state.tokens[token] = entry;
				}
			} else if (key === 'users') {
				for (const user of value || []) {
					const at = this.state.users.findIndex((u) => u.id === String(user.id));
					if (user.remove) {
						if (at >= 0) this.state.users.splice(at, 1);
						continue;
					}
					const full = {
						type: '', broadcaster_type: '', description: '', offline_image_url: '', view_count: 0,
						created_at: '2021-05-05T05:05:05Z',
						profile_image_url: `${this.base}/static/profile/${user.login}.png`,
						display_name: user.login,
						...(at >= 0 ? this.state.users[at] : {}),
						...user,
						id: String(user.id),
					};
					if (at >= 0) this.state.users[at] = full;
					else this.state.users.push(full);
				}
			} else {
				this.state[key] = value;
			}
		}
	}

	async reset() {
		this.state = defaults(this.base);
		this.records = [];
		this.scripts = [];
		this.listener.destroyAll();
	}
}

function need(q, name) {
	const value = q.get(name);
	if (!value) throw refuse(400, `Missing required parameter "${name}"`);
	return value;
}

function tokenUser(ctx, id, field) {
	if (id !== ctx.token.user_id) {
		throw refuse(401, `The ID in ${field} must match the user ID found in the request's OAuth token.`);
	}
}

function jsonBody(ctx) {
	const type = ctx.req.headers['content-type'] || '';
	if (!type.toLowerCase().startsWith('application/json')) {
		throw refuse(400, 'The Content-Type header must be application/json.');
	}
	try {
		const value = JSON.parse(ctx.body);
		if (typeof value === 'object' && value !== null) return value;
	} catch {
		// answered below
	}
	throw refuse(400, 'The request body is malformed.');
}

function encodeCursor(offset, page) {
	return Buffer.from(JSON.stringify({ b: null, a: { Offset: offset }, p: page })).toString('base64');
}

function decodeCursor(text) {
	try {
		const value = JSON.parse(Buffer.from(text, 'base64').toString('utf8'));
		if (Number.isInteger(value.a.Offset) && value.a.Offset >= 0) return value;
	} catch {
		// answered below
	}
	throw refuse(400, 'The parameter "after" was malformed.');
}

// 1 for the first page, else the page the "after" cursor points to.
function pageNumber(q) {
	const after = q.get('after');
	if (!after) return 1;
	try {
		return decodeCursor(after).p || 1;
	} catch {
		return 0;
	}
}

// One page of a list: {data, pagination} (a cursor only when more follow).
function page(ctx, list, defaultSize, maxSize) {
	let size = ctx.self.state.pageSize[ctx.key];
	if (size === undefined) {
		const first = ctx.q.get('first');
		size = first === null ? defaultSize : Number(first);
		if (!Number.isInteger(size) || size < 1 || size > maxSize) {
			throw refuse(400, `The parameter "first" was malformed: the value must be between 1 and ${maxSize}.`);
		}
	}
	size = Math.max(1, Number(size));
	const after = ctx.q.get('after');
	const cursor = after ? decodeCursor(after) : { a: { Offset: 0 }, p: 1 };
	const start = cursor.a.Offset;
	const data = list.slice(start, start + size);
	const more = start + size < list.length;
	return { data, pagination: more ? { cursor: encodeCursor(start + size, (cursor.p || 1) + 1) } : {} };
}

function ids(q, name) {
	return q.getAll(name).filter(Boolean);
}

function streamOf(self, id) {
	const entry = self.state.streams[id];
	if (!entry) return null;
	const user = self.userById(id) || { id, login: String(id), display_name: String(id) };
	const fields = typeof entry === 'object' ? entry : { viewer_count: Number(entry) };
	return {
		id: `4120${id}`,
		user_id: user.id,
		user_login: user.login,
		user_name: user.display_name,
		game_id: '509658',
		game_name: 'Just Chatting',
		type: 'live',
		title: '',
		viewer_count: 0,
		started_at: '2024-05-01T18:00:00Z',
		language: 'en',
		thumbnail_url: `${self.base}/static/previews/live_user_${user.login}-{width}x{height}.jpg`,
		tag_ids: [],
		tags: ['English'],
		is_mature: false,
		...fields,
	};
}

function emoteAnswer(self, data, extra = {}) {
	return { data, template: self.state.emoteTemplate, ...extra };
}

// Helix routes: method, path, scope (any of), handler(ctx) -> [status, body].
const ROUTES = [
	{ method: 'GET', path: '/helix/users', handle(ctx) {
		const byId = ids(ctx.q, 'id');
		const byLogin = ids(ctx.q, 'login');
		if (byId.length + byLogin.length > 100) {
			throw refuse(400, 'The sum of the number of IDs and logins must not exceed 100.');
		}
		if (!byId.length && !byLogin.length) {
			const me = this.userById(ctx.token.user_id);
			return [200, { data: me ? [me] : [] }];
		}
		const found = [];
		for (const user of this.state.users) {
			if (byId.includes(user.id) || byLogin.some((login) => login.toLowerCase() === user.login)) found.push(user);
		}
		return [200, { data: found }];
	} },
	{ method: 'POST', path: '/helix/chat/messages', scope: 'user:write:chat', handle(ctx) {
		const body = jsonBody(ctx);
		for (const field of ['broadcaster_id', 'sender_id', 'message']) {
			if (!body[field]) throw refuse(400, `Missing required parameter "${field}"`);
		}
		tokenUser(ctx, String(body.sender_id), 'sender_id');
		const drop = this.state.dropNext;
		if (drop) {
			this.state.dropNext = null;
			return [200, { data: [{ message_id: '', is_sent: false, drop_reason: { code: drop.code || 'msg_rejected', message: drop.message || '' } }] }];
		}
		const id = crypto.randomUUID();
		this.state.sentMessages.push({ message_id: id, ...body });
		return [200, { data: [{ message_id: id, is_sent: true, drop_reason: null }] }];
	} },
	{ method: 'POST', path: '/helix/moderation/bans', scope: 'moderator:manage:banned_users', handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		const mid = this.moderating(ctx, bid);
		const body = jsonBody(ctx);
		const data = body.data;
		if (!data || typeof data !== 'object' || !data.user_id) throw refuse(400, 'Missing required parameter "user_id"');
		const uid = String(data.user_id);
		const duration = data.duration === undefined ? 0 : Number(data.duration);
		if (data.duration !== undefined && (!Number.isInteger(duration) || duration < 1 || duration > 1209600)) {
			throw refuse(400, 'The value in the duration field is not valid.');
		}
		if (uid === bid || this.isModerator(uid, bid)) throw refuse(400, 'The user specified in the user_id field may not be banned.');
		const existing = this.people('banned', bid).find((p) => p.user_id === uid);
		if (existing && !existing.expires_at) throw refuse(400, 'The user specified in the user_id field is already banned.');
		const created = now();
		const ends = duration ? new Date(Date.now() + duration * 1000).toISOString().replace(/\.\d{3}Z$/, 'Z') : null;
		const moderator = this.person(mid);
		this.editList('banned', bid, (list) => [...list.filter((p) => p.user_id !== uid), {
			...this.person(uid), expires_at: ends || '', created_at: created, reason: String(data.reason || ''),
			moderator_id: moderator.user_id, moderator_login: moderator.user_login, moderator_name: moderator.user_name,
		}]);
		return [200, { data: [{ broadcaster_id: bid, moderator_id: mid, user_id: uid, created_at: created, end_time: ends }] }];
	} },
	{ method: 'DELETE', path: '/helix/moderation/bans', scope: 'moderator:manage:banned_users', handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		this.moderating(ctx, bid);
		const uid = need(ctx.q, 'user_id');
		if (!this.people('banned', bid).some((p) => p.user_id === uid)) {
			throw refuse(400, 'The user specified in the user_id field is not banned.');
		}
		this.editList('banned', bid, (list) => list.filter((p) => p.user_id !== uid));
		return [204];
	} },
	{ method: 'GET', path: '/helix/moderation/banned', scope: ['moderation:read', 'moderator:manage:banned_users'], handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		const wanted = ids(ctx.q, 'user_id');
		const list = this.people('banned', bid).filter((p) => !wanted.length || wanted.includes(p.user_id));
		return [200, page(ctx, list, 20, 100)];
	} },
	{ method: 'DELETE', path: '/helix/moderation/chat', scope: 'moderator:manage:chat_messages', handle(ctx) {
		this.moderating(ctx, need(ctx.q, 'broadcaster_id'));
		return [204];
	} },
	{ method: 'PATCH', path: '/helix/chat/settings', scope: 'moderator:manage:chat_settings', handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		const mid = this.moderating(ctx, bid);
		const body = jsonBody(ctx);
		const wait = body.slow_mode_wait_time;
		if (wait !== undefined && wait !== null && (!Number.isInteger(wait) || wait < 3 || wait > 120)) {
			throw refuse(400, 'The value in the slow_mode_wait_time field is not valid.');
		}
		const follow = body.follower_mode_duration;
		if (follow !== undefined && follow !== null && (!Number.isInteger(follow) || follow < 0 || follow > 129600)) {
			throw refuse(400, 'The value in the follower_mode_duration field is not valid.');
		}
		const settings = this.state.chatSettings;
		for (const key of Object.keys(settings)) {
			if (body[key] !== undefined) settings[key] = body[key];
		}
		if (body.slow_mode === false) settings.slow_mode_wait_time = null;
		else if (body.slow_mode === true && settings.slow_mode_wait_time === null) settings.slow_mode_wait_time = 30;
		if (body.follower_mode === false) settings.follower_mode_duration = null;
		else if (body.follower_mode === true && settings.follower_mode_duration === null) settings.follower_mode_duration = 0;
		return [200, { data: [{ broadcaster_id: bid, moderator_id: mid, ...settings }] }];
	} },
	{ method: 'GET', path: '/helix/moderation/moderators', scope: ['moderation:read', 'channel:manage:moderators'], handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		const wanted = ids(ctx.q, 'user_id');
		const list = this.people('moderators', bid).filter((p) => !wanted.length || wanted.includes(p.user_id))
			.map(({ user_id, user_login, user_name }) => ({ user_id, user_login, user_name }));
		return [200, page(ctx, list, 20, 100)];
	} },
	{ method: 'POST', path: '/helix/moderation/moderators', scope: 'channel:manage:moderators', handle(ctx) {
		const [bid, uid] = roleChange(this, ctx);
		if (this.isModerator(uid, bid)) throw refuse(400, 'The user specified in the user_id field is already a moderator.');
		if (this.people('vips', bid).some((p) => p.user_id === uid)) {
			throw refuse(422, 'The user is a VIP. To make them a moderator, you must first remove them as a VIP.');
		}
		this.editList('moderators', bid, (list) => [...list, this.person(uid)]);
		return [204];
	} },
	{ method: 'DELETE', path: '/helix/moderation/moderators', scope: 'channel:manage:moderators', handle(ctx) {
		const [bid, uid] = roleChange(this, ctx);
		if (!this.people('moderators', bid).some((p) => p.user_id === uid)) {
			throw refuse(400, 'The user specified in the user_id field is not a moderator.');
		}
		this.editList('moderators', bid, (list) => list.filter((p) => p.user_id !== uid));
		return [204];
	} },
	{ method: 'GET', path: '/helix/channels/vips', scope: ['channel:read:vips', 'channel:manage:vips'], handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		const wanted = ids(ctx.q, 'user_id');
		const list = this.people('vips', bid).filter((p) => !wanted.length || wanted.includes(p.user_id))
			.map(({ user_id, user_login, user_name }) => ({ user_id, user_name, user_login }));
		return [200, page(ctx, list, 20, 100)];
	} },
	{ method: 'POST', path: '/helix/channels/vips', scope: 'channel:manage:vips', handle(ctx) {
		const [bid, uid] = roleChange(this, ctx);
		if (this.people('vips', bid).some((p) => p.user_id === uid)) throw refuse(422, 'The user is already a VIP.');
		if (this.isModerator(uid, bid)) {
			throw refuse(422, 'The user is a moderator. To make them a VIP, you must first remove them as a moderator.');
		}
		this.editList('vips', bid, (list) => [...list, this.person(uid)]);
		return [204];
	} },
	{ method: 'DELETE', path: '/helix/channels/vips', scope: 'channel:manage:vips', handle(ctx) {
		const [bid, uid] = roleChange(this, ctx);
		if (!this.people('vips', bid).some((p) => p.user_id === uid)) throw refuse(422, 'The user is not a VIP.');
		this.editList('vips', bid, (list) => list.filter((p) => p.user_id !== uid));
		return [204];
	} },
	{ method: 'PUT', path: '/helix/chat/color', scope: 'user:manage:chat_color', handle(ctx) {
		const uid = need(ctx.q, 'user_id');
		tokenUser(ctx, uid, 'user_id');
		const color = need(ctx.q, 'color');
		if (!CHAT_COLORS.includes(color.toLowerCase()) && !/^#[0-9a-fA-F]{6}$/.test(color)) {
			throw refuse(400, 'The color specified in the color query parameter is not valid.');
		}
		this.state.colors[uid] = color;
		return [204];
	} },
	{ method: 'PUT', path: '/helix/users/blocks', scope: 'user:manage:blocked_users', handle(ctx) {
		const target = need(ctx.q, 'target_user_id');
		if (!this.state.blocks.includes(target)) this.state.blocks.push(target);
		return [204];
	} },
	{ method: 'DELETE', path: '/helix/users/blocks', scope: 'user:manage:blocked_users', handle(ctx) {
		const target = need(ctx.q, 'target_user_id');
		this.state.blocks = this.state.blocks.filter((id) => id !== target);
		return [204];
	} },
	{ method: 'POST', path: '/helix/raids', scope: 'channel:manage:raids', handle(ctx) {
		const from = need(ctx.q, 'from_broadcaster_id');
		const to = need(ctx.q, 'to_broadcaster_id');
		tokenUser(ctx, from, 'from_broadcaster_id');
		if (from === to) throw refuse(400, 'The IDs in from_broadcaster_id and to_broadcaster_id cannot be the same ID.');
		if (!this.userById(to)) throw refuse(404, 'The targeted channel was not found.');
		const created = now();
		this.state.pendingRaid = { from, to, created_at: created };
		return [200, { data: [{ created_at: created, is_mature: false }] }];
	} },
	{ method: 'DELETE', path: '/helix/raids', scope: 'channel:manage:raids', handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		tokenUser(ctx, bid, 'broadcaster_id');
		if (!this.state.pendingRaid || this.state.pendingRaid.from !== bid) {
			throw refuse(404, "The broadcaster doesn't have a pending raid to cancel.");
		}
		this.state.pendingRaid = null;
		return [204];
	} },
	{ method: 'POST', path: '/helix/chat/announcements', scope: 'moderator:manage:announcements', handle(ctx) {
		this.moderating(ctx, need(ctx.q, 'broadcaster_id'));
		const body = jsonBody(ctx);
		if (typeof body.message !== 'string' || !body.message) throw refuse(400, 'Missing required parameter "message"');
		if (body.message.length > 500) throw refuse(400, 'The message is too long.');
		const color = body.color === undefined ? 'primary' : String(body.color).toLowerCase();
		if (!['primary', 'blue', 'green', 'orange', 'purple'].includes(color)) {
			throw refuse(400, 'The value in the color field is not valid.');
		}
		return [204];
	} },
	{ method: 'POST', path: '/helix/chat/shoutouts', scope: 'moderator:manage:shoutouts', handle(ctx) {
		const from = need(ctx.q, 'from_broadcaster_id');
		const to = need(ctx.q, 'to_broadcaster_id');
		this.moderating(ctx, from);
		if (from === to) throw refuse(400, 'The broadcaster may not give itself a Shoutout.');
		if (!this.state.streams[from]) throw refuse(400, 'The broadcaster is not streaming live.');
		return [204];
	} },
	{ method: 'POST', path: '/helix/streams/markers', scope: 'channel:manage:broadcast', handle(ctx) {
		const body = jsonBody(ctx);
		if (!body.user_id) throw refuse(400, 'Missing required parameter "user_id"');
		const uid = String(body.user_id);
		if (uid !== ctx.token.user_id && !this.isModerator(ctx.token.user_id, uid)) {
			throw refuse(403, 'The user in the access token may not add markers to this channel.');
		}
		const description = body.description === undefined ? '' : String(body.description);
		if (description.length > 140) throw refuse(400, 'The description is too long.');
		if (!this.state.streams[uid]) throw refuse(404, 'The user in the user_id field is not streaming live.');
		const marker = { id: String(100000 + this.state.markers.length), created_at: now(), description, position_seconds: 244 };
		this.state.markers.push(marker);
		return [200, { data: [marker] }];
	} },
	{ method: 'POST', path: '/helix/channels/commercial', scope: 'channel:edit:commercial', handle(ctx) {
		const body = jsonBody(ctx);
		if (!body.broadcaster_id) throw refuse(400, 'Missing required parameter "broadcaster_id"');
		tokenUser(ctx, String(body.broadcaster_id), 'broadcaster_id');
		const length = Number(body.length);
		if (!Number.isInteger(length) || length < 1) throw refuse(400, 'The value in the length field is not valid.');
		if (!this.state.streams[String(body.broadcaster_id)]) {
			throw refuse(400, 'To start a commercial, the broadcaster must be streaming live.');
		}
		return [200, { data: [{ length: Math.min(length, 180), message: '', retry_after: 480 }] }];
	} },
	{ method: 'GET', path: '/helix/channels/ads', scope: ['channel:read:ads', 'channel:manage:ads'], handle(ctx) {
		tokenUser(ctx, need(ctx.q, 'broadcaster_id'), 'broadcaster_id');
		const ads = this.state.ads;
		return [200, { data: [{ next_ad_at: Math.floor(Date.now() / 1000) + 900, ...ads }] }];
	} },
	{ method: 'POST', path: '/helix/channels/ads/schedule/snooze', scope: 'channel:manage:ads', handle(ctx) {
		tokenUser(ctx, need(ctx.q, 'broadcaster_id'), 'broadcaster_id');
		const ads = this.state.ads;
		if (!(ads.snooze_count > 0)) throw refuse(429, 'The broadcaster has no snoozes left.');
		ads.snooze_count -= 1;
		ads.next_ad_at = (ads.next_ad_at || Math.floor(Date.now() / 1000) + 900) + 300;
		return [200, { data: [{ snooze_count: ads.snooze_count, snooze_refresh_at: ads.snooze_refresh_at, next_ad_at: ads.next_ad_at }] }];
	} },
	{ method: 'POST', path: '/helix/moderation/warnings', scope: 'moderator:manage:warnings', handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		const mid = this.moderating(ctx, bid);
		const data = jsonBody(ctx).data;
		if (!data || typeof data !== 'object' || !data.user_id) throw refuse(400, 'Missing required parameter "user_id"');
		if (!data.reason) throw refuse(400, 'Missing required parameter "reason"');
		return [200, { data: [{ broadcaster_id: bid, user_id: String(data.user_id), moderator_id: mid, reason: String(data.reason) }] }];
	} },
	{ method: 'GET', path: '/helix/channels/followers', handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		const all = this.people('followers', bid).map((p) => ({
			user_id: p.user_id, user_name: p.user_name, user_login: p.user_login, followed_at: p.followed_at || '2024-01-01T00:00:00Z',
		}));
		const uid = ctx.q.get('user_id');
		const list = uid ? all.filter((p) => p.user_id === uid) : all;
		// Without the scope or moderator rights Twitch gives only the total.
		if (!ctx.token.scopes.includes('moderator:read:followers') || !this.isModerator(ctx.token.user_id, bid)) {
			return [200, { total: list.length, data: [], pagination: {} }];
		}
		return [200, { total: list.length, ...page(ctx, list, 20, 100) }];
	} },
	{ method: 'GET', path: '/helix/subscriptions', scope: 'channel:read:subscriptions', handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		tokenUser(ctx, bid, 'broadcaster_id');
		const broadcaster = this.person(bid);
		const all = this.people('subscribers', bid).map((p) => ({
			broadcaster_id: bid, broadcaster_login: broadcaster.user_login, broadcaster_name: broadcaster.user_name,
			gifter_id: '', gifter_login: '', gifter_name: '', is_gift: Boolean(p.is_gift), tier: p.tier || '1000',
			plan_name: 'Channel Subscription', user_id: p.user_id, user_name: p.user_name, user_login: p.user_login,
		}));
		const wanted = ids(ctx.q, 'user_id');
		const list = wanted.length ? all.filter((s) => wanted.includes(s.user_id)) : all;
		const points = all.reduce((sum, s) => sum + ({ 1000: 1, 2000: 2, 3000: 6 }[s.tier] || 1), 0);
		return [200, { ...page(ctx, list, 20, 100), points, total: all.length }];
	} },
	{ method: 'POST', path: '/helix/moderation/automod/message', scope: 'moderator:manage:automod', handle(ctx) {
		const body = jsonBody(ctx);
		for (const field of ['user_id', 'msg_id', 'action']) {
			if (!body[field]) throw refuse(400, `Missing required parameter "${field}"`);
		}
		tokenUser(ctx, String(body.user_id), 'user_id');
		if (body.action !== 'ALLOW' && body.action !== 'DENY') throw refuse(400, 'The value in the action field is not valid.');
		const held = this.state.heldMessages;
		if (Array.isArray(held)) {
			if (!held.includes(String(body.msg_id))) throw refuse(400, 'The message specified in the msg_id field was not found.');
			this.state.heldMessages = held.filter((id) => id !== String(body.msg_id));
		}
		return [204];
	} },
	{ method: 'POST', path: '/helix/eventsub/subscriptions', handle(ctx) {
		return [202, subscribe(this, ctx)];
	} },
	{ method: 'GET', path: '/helix/eventsub/subscriptions', handle() {
		const list = this.state.subscriptions;
		return [200, { data: list, total: list.length, total_cost: 0, max_total_cost: 10, pagination: {} }];
	} },
	{ method: 'DELETE', path: '/helix/eventsub/subscriptions', handle(ctx) {
		const id = need(ctx.q, 'id');
		if (!this.state.subscriptions.some((s) => s.id === id)) throw refuse(404, 'subscription not found');
		this.state.subscriptions = this.state.subscriptions.filter((s) => s.id !== id);
		return [204];
	} },
	{ method: 'GET', path: '/helix/chat/emotes/user', scope: 'user:read:emotes', handle(ctx) {
		tokenUser(ctx, need(ctx.q, 'user_id'), 'user_id');
		// Twitch chooses this page size itself: "first" is ignored.
		const q = new URLSearchParams(ctx.q);
		q.delete('first');
		const { data, pagination } = page({ ...ctx, q }, this.state.userEmotes, 100, 100);
		return [200, emoteAnswer(this, data, { pagination })];
	} },
	{ method: 'GET', path: '/helix/chat/emotes/global', handle() {
		return [200, emoteAnswer(this, this.state.globalEmotes.map(({ owner_id, emote_type, emote_set_id, ...rest }) => rest))];
	} },
	{ method: 'GET', path: '/helix/chat/emotes', handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		const list = (this.state.channelEmotes[bid] || []).map(({ owner_id, ...rest }) => ({ ...rest, tier: rest.emote_type === 'subscriptions' ? '1000' : '' }));
		return [200, emoteAnswer(this, list)];
	} },
	{ method: 'GET', path: '/helix/chat/badges/global', handle() {
		return [200, { data: this.state.globalBadges }];
	} },
	{ method: 'GET', path: '/helix/chat/badges', handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		return [200, { data: this.state.channelBadges[bid] || [] }];
	} },
	{ method: 'GET', path: '/helix/chat/chatters', scope: 'moderator:read:chatters', handle(ctx) {
		const bid = need(ctx.q, 'broadcaster_id');
		this.moderating(ctx, bid);
		const list = this.people('chatters', bid).map(({ user_id, user_login, user_name }) => ({ user_id, user_login, user_name }));
		return [200, { ...page(ctx, list, 100, 1000), total: list.length }];
	} },
	{ method: 'GET', path: '/helix/streams', handle(ctx) {
		const wanted = [...ids(ctx.q, 'user_id')];
		for (const login of ids(ctx.q, 'user_login')) {
			const user = this.userByLogin(login);
			if (user) wanted.push(user.id);
		}
		if (wanted.length > 100) throw refuse(400, 'The number of user_id and user_login values must not exceed 100.');
		const list = Object.keys(this.state.streams).filter((id) => !wanted.length || wanted.includes(id))
			.map((id) => streamOf(this, id)).filter(Boolean);
		return [200, page(ctx, list, 20, 100)];
	} },
	{ method: 'GET', path: '/helix/chat/pins', handle(ctx) {
		this.moderating(ctx, need(ctx.q, 'broadcaster_id'));
		return [200, this.state.pins];
	} },
];

// broadcaster_id (the token's user) and user_id (a known user) of a
// moderator or VIP change.
function roleChange(self, ctx) {
	const bid = need(ctx.q, 'broadcaster_id');
	tokenUser(ctx, bid, 'broadcaster_id');
	const uid = need(ctx.q, 'user_id');
	if (!self.userById(uid)) throw refuse(400, 'The ID in user_id was not found.');
	return [bid, uid];
}

function subscribe(self, ctx) {
	const body = jsonBody(ctx);
	const { type, version, condition, transport } = body;
	if (!type || !version || !condition || typeof condition !== 'object' || !transport || typeof transport !== 'object') {
		throw refuse(400, 'The request body is missing type, version, condition or transport.');
	}
	if (transport.method !== 'websocket') throw refuse(400, 'The transport method must be websocket with a user access token.');
	if (!transport.session_id) throw refuse(400, 'The session_id field is required for the websocket transport.');
	const known = EVENTSUB_TYPES[type];
	if (known && !known.versions.includes(String(version))) throw refuse(400, 'invalid subscription type or version');
	if (!condition.broadcaster_user_id) throw refuse(400, 'The condition is missing broadcaster_user_id.');
	if (known && known.by === 'moderator' && !condition.moderator_user_id) {
		throw refuse(400, 'The condition is missing moderator_user_id.');
	}
	const refusal = (self.state.refuseSubscriptions || []).find((r) => r.type === type &&
		(r.version === undefined || String(r.version) === String(version)));
	if (refusal) {
		throw refuse(Number(refusal.status || 403), refusal.message === undefined ? 'subscription missing proper authorization' : String(refusal.message));
	}
	if (known) {
		const user = ctx.token.user_id;
		const allowed = ctx.token.scopes.includes(known.scope) && (known.by === 'moderator'
			? condition.moderator_user_id === user && self.isModerator(user, String(condition.broadcaster_user_id))
			: condition.broadcaster_user_id === user);
		if (!allowed) throw refuse(403, 'subscription missing proper authorization');
	}
	const same = (s) => s.type === type && s.version === String(version) &&
		JSON.stringify(s.condition) === JSON.stringify(condition) && s.transport.session_id === transport.session_id;
	if (self.state.subscriptions.some(same)) throw refuse(409, 'subscription already exists');
	const created = new Date().toISOString();
	const subscription = {
		id: crypto.randomUUID(),
		status: 'enabled',
		type,
		version: String(version),
		condition,
		created_at: created,
		transport: { method: 'websocket', session_id: transport.session_id, connected_at: created },
		cost: 0,
	};
	self.state.subscriptions.push(subscription);
	return { data: [subscription], total: self.state.subscriptions.length, total_cost: 0, max_total_cost: 10 };
}

module.exports = { TwitchApi, CLIENT_ID, ALL_SCOPES };
