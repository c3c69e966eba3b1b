'use strict';
// Fake public web sites the setup wizard looks channels up on, one HTTPS
// listener per endpoint so that each request is recorded with its site:
//
//   twitch-web  GET /<name>: a channel page with og:title "<display> - Twitch"
//               and og:image, or the generic "<title>Twitch</title>" page
//               Twitch serves for names it does not know (the default).
//   youtube     GET /@<name>?ucbcb=1: a channel page with og:title and
//               og:image. Without the consent cookies ("SOCS=CAI" and
//               "CONSENT=YES+cb" in the Cookie header) the answer is a 302 to
//               the consent page, as YouTube does for visitors from the EU.
//               Unknown names get 404.
//   kick        GET /api/v2/channels/<name>: the channel JSON with "user"
//               {username, profile_pic} and "livestream" (an object while
//               live, null otherwise). Unknown names get 404.
//
// Every site also serves GET /avatar/<name>.svg, a small picture, so the
// addresses in its answers load in a browser.
//
// Commands (POST /sites/<command>):
//   twitch  {name, mode: "channel" (default) | "generic" | "notitle" | "status",
//            title (default: name), image, status, once}
//           "notitle": a page with neither og:title nor the generic title.
//   youtube {name, mode: "channel" (default) | "noog" | "status", title, image,
//            status, once}
//   kick    {name, mode: "live" (default) | "offline" | "status" | "raw",
//            username (default: name), avatar, status, body, once}
//   down    {site, on = true}: the site's listener cuts every new connection
//           at once (nothing is answered).
//   requests {clear}: {requests: [{site, method, path, headers: [[n, v]..]}]}
//   reset

const https = require('node:https');
const { Listener } = require('../lib/listener');
const { tlsOptions } = require('../certs');
const { headerPairs } = require('../lib/headers');

const SITES = ['twitch-web', 'youtube', 'kick'];
const COLORS = { 'twitch-web': '#9146ff', youtube: '#ff3d3d', kick: '#53fc18' };

function escapeHtml(text) {
	return String(text).replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);
}

function avatarSvg(site, name) {
	const letter = escapeHtml((name[0] || '?').toUpperCase());
	return `<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">` +
		`<rect width="64" height="64" fill="${COLORS[site]}"/>` +
		`<text x="32" y="43" font-family="sans-serif" font-size="30" text-anchor="middle" fill="#111">${letter}</text></svg>`;
}

function page(title, metas) {
	const tags = metas.map(([property, content]) => `<meta property="${property}" content="${content}">`).join('\n');
	return `<!DOCTYPE html><html><head><meta charset="utf-8"><title>${title}</title>\n${tags}\n</head><body></body></html>`;
}

class Sites {
	constructor(context) {
		this.context = context;
		this.name = 'sites';
		this.listeners = new Map();
		this.down = new Set();
		this.answers = new Map(); // "site:name" -> args
		this.onceAnswers = [];
		this.records = [];
	}

	async start() {
		this.endpoints = {};
		for (const site of SITES) {
			const server = https.createServer(tlsOptions(this.context.certs.server), (req, res) => this.request(site, req, res));
			server.on('tlsClientError', () => {});
			server.on('clientError', (error, socket) => socket.destroy());
			const listener = new Listener(site, server);
			// A site that is down takes the connection and drops it at once.
			const accept = listener.accept.bind(listener);
			listener.accept = (socket) => (this.down.has(site) ? socket.destroy() : accept(socket));
			this.listeners.set(site, listener);
			this.endpoints[site] = await listener.listen();
		}
	}

	async stop() {
		for (const listener of this.listeners.values()) await listener.close();
	}

	root(site) {
		return `https://127.0.0.1:${this.endpoints[site]}`;
	}

	avatarUrl(site, name) {
		return `${this.root(site)}/avatar/${encodeURIComponent(name)}.svg`;
	}

	answerFor(site, name) {
		const once = this.onceAnswers.findIndex((a) => a.site === site && a.name === name);
		if (once >= 0) return this.onceAnswers.splice(once, 1)[0];
		return this.answers.get(`${site}:${name}`);
	}

	request(site, req, res) {
		if (site === 'youtube' && this.context.youtubeLive && this.context.youtubeLive(req, res) !== false) return;
		this.records.push({ site, method: req.method, path: req.url, headers: headerPairs(req.rawHeaders) });
		req.resume();
		const send = (status, type, body, headers = {}) => {
			res.writeHead(status, { 'Content-Type': type, 'Content-Length': Buffer.byteLength(body), ...headers });
			res.end(body);
		};
		const url = new URL(req.url, 'https://127.0.0.1');
		const avatar = /^\/avatar\/([^/]+)\.svg$/.exec(url.pathname);
		if (avatar) return send(200, 'image/svg+xml', avatarSvg(site, decodeURIComponent(avatar[1])));
		if (req.method !== 'GET') return send(405, 'text/plain', 'method not allowed\n');
		if (site === 'twitch-web') return this.twitch(url, send);
		if (site === 'youtube') return this.youtube(req, url, send);
		return this.kick(url, send);
	}

	twitch(url, send) {
		const name = url.pathname.slice(1);
		const a = this.answerFor('twitch-web', name);
		const generic = () => send(200, 'text/html; charset=utf-8', page('Twitch', [['og:site_name', 'Twitch']]));
		if (!a || a.mode === 'generic') return generic();
		if (a.mode === 'status') return send(Number(a.status || 500), 'text/plain', 'error\n');
		if (a.mode === 'notitle') return send(200, 'text/html; charset=utf-8', page('Loading', []));
		const title = a.title !== undefined ? a.title : `${name} - Twitch`;
		const image = a.image !== undefined ? a.image : this.avatarUrl('twitch-web', name);
		send(200, 'text/html; charset=utf-8', page(`${escapeHtml(title)}`, [['og:title', title], ['og:image', image]]));
	}

	youtube(req, url, send) {
		const cookie = String(req.headers.cookie || '');
		const consented = /(^|;\s*)SOCS=CAI(;|$)/.test(cookie) && /(^|;\s*)CONSENT=YES\+cb(;|$)/.test(cookie);
		if (!consented) {
			return send(302, 'text/html', '', { Location: `https://consent.youtube.com/m?continue=${encodeURIComponent(req.url)}` });
		}
		const m = /^\/@([^/]+)$/.exec(url.pathname);
		const a = m && this.answerFor('youtube', m[1]);
		if (!a) return send(404, 'text/html', page('404 Not Found', []));
		if (a.mode === 'status') return send(Number(a.status || 500), 'text/plain', 'error\n');
		if (a.mode === 'noog') return send(200, 'text/html; charset=utf-8', page('YouTube', []));
		const title = a.title !== undefined ? a.title : m[1];
		const image = a.image !== undefined ? a.image : this.avatarUrl('youtube', m[1]);
		send(200, 'text/html; charset=utf-8', page(`${escapeHtml(title)} - YouTube`, [['og:title', title], ['og:image', image]]));
	}

	kick(url, send) {
		const m = /^\/api\/v2\/channels\/([^/]+)$/.exec(url.pathname);
		const a = m && this.answerFor('kick', m[1]);
		if (!a) return send(404, 'application/json', JSON.stringify({ message: 'Channel not found' }));
		if (a.mode === 'status') return send(Number(a.status || 500), 'text/plain', 'error\n');
		if (a.mode === 'raw') return send(Number(a.status || 200), 'application/json', String(a.body || ''));
		const live = (a.mode || 'live') === 'live';
		const body = {
			id: 4242,
			slug: m[1],
			user: {
				id: 4243,
				username: a.username !== undefined ? a.username : m[1],
				profile_pic: a.avatar !== undefined ? a.avatar : this.avatarUrl('kick', m[1]),
			},
			livestream: live ? { id: 99, is_live: true, session_title: `${m[1]} live`, viewer_count: 12 } : null,
		};
		send(200, 'application/json', JSON.stringify(body));
	}

	async command(name, args) {
		switch (name) {
		case 'twitch':
		case 'youtube':
		case 'kick': {
			if (typeof args.name !== 'string') throw new Error(`${name} needs a name`);
			const site = name === 'twitch' ? 'twitch-web' : name;
			const answer = { ...args, site };
			if (args.once) this.onceAnswers.push(answer);
			else this.answers.set(`${site}:${args.name}`, answer);
			return { ok: true };
		}
		case 'down':
			if (!SITES.includes(args.site)) throw new Error(`down: unknown site ${args.site}`);
			if (args.on === false) this.down.delete(args.site);
			else this.down.add(args.site);
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
			throw new Error(`sites: unknown command ${name}`);
		}
	}

	async reset() {
		this.answers.clear();
		this.onceAnswers = [];
		this.records = [];
		this.down.clear();
		for (const listener of this.listeners.values()) listener.destroyAll();
	}
}

module.exports = { Sites };
