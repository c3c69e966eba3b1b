'use strict';
// Fake public web sites the setup wizard looks channels up on, one HTTPS
// listener per endpoint so that each request is recorded with its site
// (`site`): twitch-web (channel pages, and the generic page Twitch serves for
// names it does not know), youtube (channel pages; without the consent
// cookies a 302 to the consent page, as for visitors from the EU) and kick
// (the channel JSON). Every site serves /avatar/<name>.svg, so the addresses
// in its answers load in a browser.
//
// Commands (POST /sites/<command>): twitch, youtube and kick {name, mode,
// title/username, image/avatar, status, body, once} set the answer for a name
// (modes in the methods below); down {site, on = true} makes the site cut
// every new connection at once.

const { RecordingService, Answer } = require('../lib/recording');

const SITES = ['twitch-web', 'youtube', 'kick'];
const COLORS = { 'twitch-web': '#9146ff', youtube: '#ff3d3d', kick: '#53fc18', 'tiktok-web': '#25f4ee' };

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

const html = (status, body, headers = {}) => new Answer(status, body, { 'Content-Type': 'text/html; charset=utf-8', ...headers });
const plain = (status, body) => new Answer(status, body, { 'Content-Type': 'text/plain' });

class Sites extends RecordingService {
	constructor(context) {
		super(context, 'sites', Object.fromEntries(SITES.map((site) => [site, 'server'])));
		this.routes = [
			{ method: '*', match: /^\/avatar\/([^/]+)\.svg$/, answer: (ctx) =>
				new Answer(200, avatarSvg(ctx.host, decodeURIComponent(ctx.match[1])), { 'Content-Type': 'image/svg+xml' }) },
			{ method: '*', match: /^/, answer: (ctx) => {
				// The youtube site also serves the live chat (youtube_live.js).
				const live = ctx.host === 'youtube' && this.context.youtubeLive && this.context.youtubeLive(ctx);
				if (live) return live;
				if (ctx.req.method !== 'GET') return plain(405, 'method not allowed\n');
				if (ctx.host === 'twitch-web') return this.twitch(ctx.url);
				if (ctx.host === 'youtube') return this.youtube(ctx.req, ctx.url);
				return this.kick(ctx.url);
			} },
		];
	}

	fresh() {
		this.down = new Set();
		this.answers = new Map(); // "site:name" -> args
		this.onceAnswers = [];
	}

	async start() {
		await super.start();
		// A site that is down takes the connection and drops it at once.
		for (const [site, listener] of this.listeners) {
			const accept = listener.accept.bind(listener);
			listener.accept = (socket) => (this.down.has(site) ? socket.destroy() : accept(socket));
		}
	}

	note(req, url, host) {
		return { site: host };
	}

	avatarUrl(site, name) {
		return `${this.root(site)}/avatar/${encodeURIComponent(name)}.svg`;
	}

	answerFor(site, name) {
		const once = this.onceAnswers.findIndex((a) => a.site === site && a.name === name);
		if (once >= 0) return this.onceAnswers.splice(once, 1)[0];
		return this.answers.get(`${site}:${name}`);
	}

	twitch(url) {
		const name = url.pathname.slice(1);
		const a = this.answerFor('twitch-web', name);
		if (!a || a.mode === 'generic') return html(200, page('Twitch', [['og:site_name', 'Twitch']]));
		if (a.mode === 'status') return plain(Number(a.status || 500), 'error\n');
		const title = a.title !== undefined ? a.title : `${name} - Twitch`;
		const image = a.image !== undefined ? a.image : this.avatarUrl('twitch-web', name);
		return html(200, page(`${escapeHtml(title)}`, [['og:title', title], ['og:image', image]]));
	}

	youtube(req, url) {
		const cookie = String(req.headers.cookie || '');
		const consented = /(^|;\s*)SOCS=CAI(;|$)/.test(cookie) && /(^|;\s*)CONSENT=YES\+cb(;|$)/.test(cookie);
		if (!consented) {
			return html(302, '', { Location: `https://consent.youtube.com/m?continue=${encodeURIComponent(req.url)}` });
		}
		const m = /^\/@([^/]+)$/.exec(url.pathname);
		const a = m && this.answerFor('youtube', m[1]);
		if (!a) return html(404, page('404 Not Found', []));
		if (a.mode === 'status') return plain(Number(a.status || 500), 'error\n');
		if (a.mode === 'noog') return html(200, page('YouTube', []));
		const title = a.title !== undefined ? a.title : m[1];
		const image = a.image !== undefined ? a.image : this.avatarUrl('youtube', m[1]);
		return html(200, page(`${escapeHtml(title)} - YouTube`, [['og:title', title], ['og:image', image]]));
	}

	kick(url) {
		const m = /^\/api\/v2\/channels\/([^/]+)$/.exec(url.pathname);
		const a = m && this.answerFor('kick', m[1]);
		const json = (status, body) => new Answer(status, body, { 'Content-Type': 'application/json' });
		if (!a) return json(404, JSON.stringify({ message: 'Channel not found' }));
		if (a.mode === 'status') return plain(Number(a.status || 500), 'error\n');
		if (a.mode === 'raw') return json(Number(a.status || 200), String(a.body || ''));
		const live = (a.mode || 'live') === 'live';
		return json(200, JSON.stringify({
			id: 4242,
			slug: m[1],
			user: {
				id: 4243,
				username: a.username !== undefined ? a.username : m[1],
				profile_pic: a.avatar !== undefined ? a.avatar : this.avatarUrl('kick', m[1]),
			},
			livestream: live ? { id: 99, is_live: true, session_title: `${m[1]} live`, viewer_count: 12 } : null,
		}));
	}

	// The commands twitch, youtube and kick: one answer for a name there.
	command(name, args) {
		const site = { twitch: 'twitch-web', youtube: 'youtube', kick: 'kick' }[name];
		if (!site) return super.command(name, args);
		if (typeof args.name !== 'string') throw new Error(`${name} needs a name`);
		if (args.once) this.onceAnswers.push({ ...args, site });
		else this.answers.set(`${site}:${args.name}`, { ...args, site });
		return { ok: true };
	}

	command_down(args) {
		if (!SITES.includes(args.site)) throw new Error(`down: unknown site ${args.site}`);
		if (args.on === false) this.down.delete(args.site);
		else this.down.add(args.site);
	}
}

module.exports = { Sites, avatarSvg };
