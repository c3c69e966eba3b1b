'use strict';
// The base of every HTTP(S) fake: listeners on loopback ports chosen now, a
// record of every request exactly as it arrived, answers from the service's
// table of routes, and scripted answers a test puts ahead of that table.
//
// A service extends RecordingService and gives:
//   hosts    {name: "server" | "untrusted" | "wrongName" | "plain"}: one
//            listener each; each name is also an endpoint unless `claims`
//            lists the ones that are
//   routes   [{method ("*" any), path (exact pathname) or match (RegExp on
//            the pathname), answer(ctx), unrecorded}]; ctx: {host, req, url,
//            q, body, match}; answer returns {status, body, headers, delayMs,
//            hold} (a body object is sent as JSON) or throws an Answer; an
//            answer with `hold` waits for the "release" command
//   fresh()  the start state (called at construction and on reset)
//   note(req, url, host)  extra fields of a request's record (optional)
//   more commands: a method `command_<name>(args)` each
// Common commands: script (alias route), clearScripts,
// requests {clear}, stall {on, host (default: every listener)}, release, reset.

const http = require('node:http');
const https = require('node:https');
const { Listener, headerPairs } = require('./listener');
const { tlsOptions } = require('../certs');

const MAX_RECORDED_BODY = 64 * 1024 * 1024;

class Answer {
	constructor(status, body, headers = {}) {
		this.status = status;
		this.body = body;
		this.headers = headers;
	}
}

class RecordingService {
	constructor(context, name, hosts) {
		this.context = context;
		this.name = name;
		this.hosts = hosts;
		this.listeners = new Map();
		this.routes = [];
		this.scripts = [];
		this.records = [];
		this.held = new Set();
		this.fresh();
	}

	fresh() {}

	async start() {
		this.endpoints = {};
		for (const [host, cert] of Object.entries(this.hosts)) {
			const server = cert === 'plain' ? http.createServer() : https.createServer(tlsOptions(this.context.certs[cert]));
			server.on('request', (req, res) => this.handle(host, req, res));
			server.on('tlsClientError', () => {});
			server.on('clientError', (error, socket) => socket.destroy());
			const listener = new Listener(host, server);
			this.listeners.set(host, listener);
			const port = await listener.listen();
			if (!this.claims || this.claims.includes(host)) this.endpoints[host] = port;
		}
	}

	root(host) {
		return `https://127.0.0.1:${this.listeners.get(host).port}`;
	}

	async stop() {
		for (const listener of this.listeners.values()) await listener.close();
	}

	handle(host, req, res) {
		const chunks = [];
		let size = 0;
		req.on('data', (chunk) => {
			size += chunk.length;
			if (size <= MAX_RECORDED_BODY) chunks.push(chunk);
		});
		req.on('end', () => {
			res.on('error', () => {});
			const raw = Buffer.concat(chunks);
			const url = new URL(req.url, 'https://127.0.0.1');
			const body = raw.toString('utf8');
			const route = this.routes.find((r) => (r.method === '*' || r.method === req.method) &&
				(r.match ? r.match.test(url.pathname) : r.path === url.pathname));
			if (!(route && route.unrecorded)) {
				this.records.push({
					host, method: req.method, path: req.url, headers: headerPairs(req.rawHeaders), body,
					...(this.note ? this.note(req, url, host) : {}),
				});
			}
			const script = this.findScript(req.method, req.url, url.pathname);
			if (script) return this.play(script, res);
			let answer;
			try {
				if (!route) throw this.missing(req, url);
				answer = route.answer.call(this, { host, req, url, q: url.searchParams, body,
					match: route.match ? route.match.exec(url.pathname) : null });
			} catch (error) {
				if (!(error instanceof Answer)) this.context.log(`${this.name}: ${error && error.stack ? error.stack : error}`);
				answer = error instanceof Answer ? error : new Answer(500, { error: 'Internal Server Error' });
			}
			const deliver = () => this.send(res, answer);
			if (answer.hold) this.held.add(deliver);
			else if (answer.delayMs) setTimeout(deliver, Number(answer.delayMs));
			else deliver();
		});
	}

	missing(req) {
		return new Answer(404, `no route for ${req.method} ${req.url}\n`, { 'Content-Type': 'text/plain' });
	}

	send(res, { status = 200, body, headers = {} }) {
		const all = { ...headers };
		const typed = Object.keys(all).some((name) => name.toLowerCase() === 'content-type');
		let data = Buffer.alloc(0);
		if (Buffer.isBuffer(body)) data = body;
		else if (typeof body === 'string') data = Buffer.from(body, 'utf8');
		else if (body !== undefined && body !== null) {
			data = Buffer.from(JSON.stringify(body), 'utf8');
			if (!typed) all['Content-Type'] = 'application/json; charset=utf-8';
		}
		all['Content-Length'] = data.length;
		res.writeHead(Number(status), all);
		res.end(data);
	}

	// A path with a query matches the whole request target, one without
	// matches the path part; once scripts first, then the most specific.
	findScript(method, target, pathname) {
		const matches = (s) => (s.method === '*' || s.method === method) &&
			(s.prefix ? target.startsWith(s.path) : s.path === target || (!s.path.includes('?') && s.path === pathname));
		const once = this.scripts.findIndex((s) => s.once && matches(s));
		if (once >= 0) return this.scripts.splice(once, 1)[0];
		const candidates = this.scripts.filter((s) => !s.once && matches(s));
		candidates.sort((a, b) => Number(a.method === '*') - Number(b.method === '*') ||
			Number(Boolean(a.prefix)) - Number(Boolean(b.prefix)) || b.path.length - a.path.length);
		return candidates[0];
	}

	// A scripted answer: status, headers, body (an object is sent as JSON) or
	// bodyBase64 or size + fill; stall (never answered; a release cuts it),
	// drop (the connection is cut), dropAfter (bytes of body, then cut).
	async play(script, res) {
		if (script.stall) return this.held.add(() => res.destroy());
		if (script.drop) return res.socket && res.socket.destroy();
		if (script.size === undefined && script.dropAfter === undefined) {
			const body = script.bodyBase64 !== undefined ? Buffer.from(script.bodyBase64, 'base64')
				: script.body === '' ? undefined : script.body;
			return this.send(res, { status: script.status, body, headers: script.headers });
		}
		const body = script.bodyBase64 !== undefined ? Buffer.from(script.bodyBase64, 'base64')
			: script.body !== undefined ? Buffer.from(String(script.body), 'utf8') : null;
		const length = body ? body.length : Number(script.size || 0);
		res.writeHead(Number(script.status || 200), { ...(script.headers || {}), 'Content-Length': String(length) });
		const limit = script.dropAfter !== undefined ? Math.min(Number(script.dropAfter), length) : length;
		const fill = Buffer.alloc(64 * 1024, String(script.fill || 'x'));
		for (let sent = 0; sent < limit && !res.destroyed;) {
			const step = Math.min(fill.length, limit - sent);
			const piece = body ? body.subarray(sent, sent + step) : fill.subarray(0, step);
			sent += step;
			if (!res.write(piece)) await new Promise((resolve) => { res.once('drain', resolve); res.once('close', resolve); });
		}
		// After dropAfter, what was written still goes out; then the
		// connection ends short of the announced length.
		if (script.dropAfter !== undefined) return res.socket && res.socket.end();
		res.end();
	}

	async command(name, args) {
		switch (name) {
		case 'script':
		case 'route': {
			if (typeof args.path !== 'string') throw new Error(`${name} needs a path`);
			const script = { ...args, method: String(args.method || '*').toUpperCase() };
			if (!script.once) {
				this.scripts = this.scripts.filter((s) => s.once || s.method !== script.method ||
					s.path !== script.path || Boolean(s.prefix) !== Boolean(script.prefix));
			}
			this.scripts.push(script);
			return { ok: true };
		}
		case 'clearScripts':
			this.scripts = [];
			return { ok: true };
		case 'requests': {
			const requests = this.records;
			if (args.clear) this.records = [];
			return { requests };
		}
		case 'stall':
			for (const [host, listener] of this.listeners) {
				if (!args.host || args.host === host) listener.stall(args.on === undefined || args.on === true);
			}
			return { ok: true };
		case 'release': {
			const held = [...this.held];
			this.held.clear();
			for (const send of held) send();
			return { released: held.length };
		}
		case 'reset':
			await this.reset();
			return { ok: true };
		default: {
			const own = this[`command_${name}`];
			if (typeof own !== 'function') throw new Error(`${this.name}: unknown command ${name}`);
			const result = await own.call(this, args);
			return result === undefined ? { ok: true } : result;
		}
		}
	}

	async reset() {
		this.scripts = [];
		this.records = [];
		for (const listener of this.listeners.values()) {
			listener.stall(false);
			listener.destroyAll();
		}
		this.held.clear();
		this.fresh();
	}
}

module.exports = { RecordingService, Answer };
