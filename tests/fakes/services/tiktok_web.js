'use strict';
// Fake TikTok web host: the room lookup GET /api-live/user/room/?...&uniqueId=
// answers per account name the way www.tiktok.com does, and every request is
// recorded exactly.
//
// The profile card GET /oembed?url=<profile address> answers with the
// account's "author_name" the way TikTok's oEmbed does, and GET
// /avatar/<name>.svg with a small picture for the "avatarThumb" addresses.
//
// Commands (POST /tiktok-web/<command>):
//   room {uniqueId, mode, roomId, liveStatus, status, body, once, nickname,
//        avatar}
//        mode "live" (default; liveStatus 2), "offline" (liveStatus 4),
//        "numeric" (roomId as a JSON number), "user_not_found" (no data),
//        "nodata" (no data, another message), "noroom" (data without roomId),
//        "status" (HTTP status, body as given), "raw" (body as given).
//        "nickname" replaces the user's nickname (default: the name; "" sends
//        an empty one), "avatar" adds it as the user's "avatarThumb".
//        Names without an answer get {"message":"user_not_found"}; "once"
//        answers are used a single time before the standing one.
//   oembed {uniqueId, authorName, status}: the card for the profile of
//        uniqueId; profiles without one get 400 as from TikTok.
//   requests {clear}   {requests: [{path, uniqueId, headers}]}
//   reset

const https = require('node:https');
const { Listener } = require('../lib/listener');
const { tlsOptions } = require('../certs');
const { headerPairs } = require('../lib/headers');

const LOOKUP_PATH = '/api-live/user/room/';

function lookupAnswer(name, a) {
	const user = (roomId) => {
		const u = { id: '6800000000000000001', uniqueId: name, nickname: a.nickname !== undefined ? a.nickname : name, roomId };
		if (a.avatar !== undefined) u.avatarThumb = a.avatar;
		return u;
	};
	switch (a.mode || 'live') {
	case 'status':
		return { status: Number(a.status || 500), body: a.body !== undefined ? String(a.body) : 'error' };
	case 'raw':
		return { status: Number(a.status || 200), body: String(a.body || '') };
	case 'user_not_found':
		return { status: 200, body: JSON.stringify({ message: 'user_not_found', statusCode: 19881007 }) };
	case 'nodata':
		return { status: 200, body: JSON.stringify({ message: 'params_error', statusCode: 1 }) };
	case 'noroom':
		return { status: 200, body: JSON.stringify({ data: { user: { uniqueId: name }, liveRoom: { status: 2 } } }) };
	case 'numeric': {
		const data = { user: { uniqueId: name, roomId: Number(a.roomId) }, liveRoom: { status: Number(a.liveStatus ?? 2) } };
		return { status: 200, body: JSON.stringify({ data, message: '', statusCode: 0 }) };
	}
	default: {
		const live = (a.mode || 'live') === 'live';
		const data = {
			user: user(String(a.roomId || '7300000000000000001')),
			liveRoom: { status: Number(a.liveStatus ?? (live ? 2 : 4)), title: `${name} live` },
		};
		return { status: 200, body: JSON.stringify({ data, message: '', statusCode: 0 }) };
	}
	}
}

class TikTokWeb {
	constructor(context) {
		this.context = context;
		this.name = 'tiktok-web';
		this.answers = new Map();
		this.cards = new Map();
		this.onceAnswers = [];
		this.records = [];
	}

	async start() {
		this.server = https.createServer(tlsOptions(this.context.certs.server), (req, res) => this.request(req, res));
		this.server.on('tlsClientError', () => {});
		this.listener = new Listener(this.name, this.server);
		this.endpoints = { 'tiktok-web': await this.listener.listen() };
	}

	async stop() {
		await this.listener.close();
	}

	request(req, res) {
		const url = new URL(req.url, 'https://127.0.0.1');
		const uniqueId = url.searchParams.get('uniqueId');
		this.records.push({ path: req.url, uniqueId, headers: headerPairs(req.rawHeaders) });
		req.resume();
		if (url.pathname === '/oembed') return this.oembed(url, res);
		const avatar = /^\/avatar\/([^/]+)\.svg$/.exec(url.pathname);
		if (avatar) {
			const letter = (decodeURIComponent(avatar[1])[0] || '?').toUpperCase().replace(/[^A-Z0-9]/, '?');
			const svg = '<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">' +
				'<rect width="64" height="64" fill="#25f4ee"/><text x="32" y="43" font-family="sans-serif" ' +
				`font-size="30" text-anchor="middle" fill="#111">${letter}</text></svg>`;
			res.writeHead(200, { 'Content-Type': 'image/svg+xml', 'Content-Length': Buffer.byteLength(svg) });
			res.end(svg);
			return;
		}
		if (url.pathname !== LOOKUP_PATH) {
			res.writeHead(404, { 'Content-Type': 'text/plain' });
			res.end('not found\n');
			return;
		}
		const once = this.onceAnswers.findIndex((a) => a.uniqueId === uniqueId);
		const a = once >= 0 ? this.onceAnswers.splice(once, 1)[0] : this.answers.get(uniqueId);
		const { status, body } = a ? lookupAnswer(uniqueId, a) : lookupAnswer(uniqueId, { mode: 'user_not_found' });
		res.writeHead(status, { 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(body) });
		res.end(body);
	}

	// The card of the profile named in the "url" query value (taken as the
	// text after its last "/@").
	oembed(url, res) {
		const target = url.searchParams.get('url') || '';
		const at = target.lastIndexOf('/@');
		const card = at >= 0 ? this.cards.get(target.slice(at + 2)) : undefined;
		const status = card ? Number(card.status || 200) : 400;
		const body = status !== 200
			? JSON.stringify({ code: 400, message: 'Something went wrong', data: null })
			: JSON.stringify({ version: '1.0', type: 'video', provider_name: 'TikTok', author_url: target,
				...(card.authorName !== undefined ? { author_name: card.authorName } : {}) });
		res.writeHead(status, { 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(body) });
		res.end(body);
	}

	async command(name, args) {
		switch (name) {
		case 'oembed':
			if (typeof args.uniqueId !== 'string') throw new Error('oembed needs a uniqueId');
			this.cards.set(args.uniqueId, args);
			return { ok: true };
		case 'room':
			if (typeof args.uniqueId !== 'string') throw new Error('room needs a uniqueId');
			if (args.once) this.onceAnswers.push(args);
			else this.answers.set(args.uniqueId, args);
			return { ok: true };
		case 'requests': {
			const requests = this.records;
			if (args.clear) this.records = [];
			return { requests };
		}
		case 'reset':
			await this.reset();
			return { ok: true };
		default:
			throw new Error(`tiktok-web: unknown command ${name}`);
		}
	}

	async reset() {
		this.answers.clear();
		this.cards.clear();
		this.onceAnswers = [];
		this.records = [];
		this.listener.destroyAll();
	}
}

module.exports = { TikTokWeb };
