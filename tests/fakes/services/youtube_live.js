'use strict';
// Fake YouTube live chat, served on the youtube site of sites.js (which hands
// it every request first, see context.youtubeLive): a live channel's watch
// page (ytcfg with the API key and client version, ytInitialData with the
// chat's first continuation, the viewer count), and get_live_chat polls,
// answered with the queued actions and the next continuation; a poll without
// the page's key, client name and version gets 400.
//
// Commands (POST /youtube-live/<command>): live {name, viewers = 7,
// timeoutMs = 1000}; send {actions} (queued for the next poll); play
// {actions, intervalMs = 3000, loop} (the demo's chat); mode {answer:
// "normal" | "broken"}; reset.

const { Answer } = require('../lib/recording');

const KEY = 'AIzaFakeKey_0123';
const VERSION = '2.20241205.01.00';

class YouTubeLive {
	constructor(context) {
		this.context = context;
		this.name = 'youtube-live';
		this.endpoints = {};
		context.youtubeLive = (ctx) => this.request(ctx);
		this.reset();
	}

	async start() {}
	async stop() {
		clearInterval(this.player);
	}

	// A route of the youtube site (sites.js): an Answer, or nothing for the
	// site's own pages.
	request(ctx) {
		const send = (status, type, body) => new Answer(status, body, { 'Content-Type': type });
		const page = /^\/(?:@([^/]+)|channel\/([^/]+))\/live$/.exec(ctx.url.pathname);
		if (page && ctx.req.method === 'GET') {
			const name = page[1] || page[2];
			const live = this.live.get(name);
			if (!live) return send(200, 'text/html', `<html><head><meta property="og:title" content="${name}"></head></html>`);
			const initial = { contents: { twoColumnWatchNextResults: { conversationBar: { liveChatRenderer: {
				continuations: [{ reloadContinuationData: { continuation: `c-${name}-0`, clickTrackingParams: 'x' } }] } } } } };
			return send(200, 'text/html', `<html><script>ytcfg.set({"INNERTUBE_API_KEY":"${KEY}","INNERTUBE_CLIENT_VERSION":"${VERSION}"});` +
				`var ytInitialPlayerResponse = {"videoDetails":{"videoId":"vid${name}","isLive":true},"microformat":{"originalViewCount":"${live.viewers}"}};` +
				`var ytInitialData = ${JSON.stringify(initial)};</script></html>`);
		}
		if (ctx.url.pathname === '/youtubei/v1/live_chat/get_live_chat' && ctx.req.method === 'POST') return this.poll(ctx.url, ctx.body, send);
		return null;
	}

	poll(url, text, send) {
		let body = {};
		try {
			body = JSON.parse(text);
		} catch {
			// answered below
		}
		const client = (body.context && body.context.client) || {};
		if (url.searchParams.get('key') !== KEY || client.clientName !== 'WEB' || client.clientVersion !== VERSION) {
			return send(400, 'application/json', '{"error":{"code":400,"status":"INVALID_ARGUMENT"}}');
		}
		this.polls += 1;
		if (this.answer === 'broken') return send(200, 'application/json', '{"responseContext":{},"continuationContents":');
		const actions = this.queue.splice(0);
		const name = /^c-(.*)-\d+$/.exec(body.continuation || '');
		const live = name && this.live.get(name[1]);
		const chat = { actions, continuations: [{ timedContinuationData: {
			continuation: `c-${name ? name[1] : 'x'}-${this.polls}`, timeoutMs: live ? live.timeoutMs : 1000 } }] };
		return send(200, 'application/json', JSON.stringify({ responseContext: {}, continuationContents: { liveChatContinuation: chat } }));
	}

	async command(name, args) {
		switch (name) {
		case 'live':
			this.live.set(args.name, { viewers: args.viewers ?? 7, timeoutMs: args.timeoutMs ?? 1000 });
			return { ok: true };
		case 'send':
			this.queue.push(...(args.actions || []));
			return { queued: this.queue.length };
		case 'play': {
			clearInterval(this.player);
			let next = 0;
			const actions = args.actions || [];
			this.player = setInterval(() => {
				if (next >= actions.length && !args.loop) return clearInterval(this.player);
				// Each round gets ids of its own, as the pages know lines by them.
				const action = JSON.parse(JSON.stringify(actions[next++ % actions.length]).replace(/"id":"([^"]*)"/g, `"id":"$1-${next}"`));
				this.queue.push(action);
			}, args.intervalMs || 3000);
			return { ok: true };
		}
		case 'mode':
			this.answer = args.answer || 'normal';
			return { ok: true };
		case 'reset':
			await this.reset();
			return { ok: true };
		default:
			throw new Error(`youtube-live: unknown command ${name}`);
		}
	}

	async reset() {
		clearInterval(this.player);
		this.live = new Map();
		this.queue = [];
		this.polls = 0;
		this.answer = 'normal';
	}
}

module.exports = { YouTubeLive };
