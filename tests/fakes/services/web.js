'use strict';
// A scriptable web service: answers each request from the routes a test set,
// and records every request exactly. It listens four times, sharing routes and
// records:
//   web         HTTPS with the trusted test certificate (also the stand-in for
//               every endpoint that has no fake of its own)
//   web-plain   plain HTTP
//   untrusted   HTTPS with a certificate from a CA nobody trusts
//   wrong-name  HTTPS with a certificate from the test CA for another name
//
// Commands (POST /web/<command>):
//   route {method = "*", path, prefix = false, status = 200, headers: {..},
//          body | bodyBase64 | size + fill, chunked, delayMs, stall,
//          dropAfter (bytes of body, then the connection is cut), once}
//         A later route for the same method and path replaces the earlier one;
//         "once" routes are used a single time and take precedence.
//   clearRoutes {}
//   requests {clear}            {requests: [{listener, method, path, httpVersion,
//                                headers: [[name, value]..], body, bodyBase64}]}
//   stall {on}                  stall every new connection (no TLS, no answer)
//   reset {}
// Without a route the answer is 404 "no route".

const http = require('node:http');
const https = require('node:https');
const { Listener } = require('../lib/listener');
const { tlsOptions } = require('../certs');
const { headerPairs } = require('../lib/headers');

const MAX_RECORDED_BODY = 64 * 1024 * 1024;

class Web {
	constructor(context) {
		this.context = context;
		this.name = 'web';
		this.routes = [];
		this.records = [];
		this.held = new Set();
		this.listeners = [];
	}

	async start() {
		const certs = this.context.certs;
		const make = (name, server) => {
			server.on('request', (req, res) => this.request(name, req, res));
			server.on('tlsClientError', () => {});
			server.on('clientError', (error, socket) => socket.destroy());
			const listener = new Listener(name, server);
			this.listeners.push(listener);
			return listener.listen();
		};
		const ports = {
			web: await make('web', https.createServer(tlsOptions(certs.server))),
			'web-plain': await make('web-plain', http.createServer()),
			untrusted: await make('untrusted', https.createServer(tlsOptions(certs.untrusted))),
			'wrong-name': await make('wrong-name', https.createServer(tlsOptions(certs.wrongName))),
		};
		this.ports = ports;
		// Endpoints this service claims for itself; the runner points the
		// unclaimed ones at ports.web.
		this.endpoints = {};
	}

	async stop() {
		for (const listener of this.listeners) await listener.close();
	}

	findRoute(method, path) {
		const matches = (route) => (route.method === '*' || route.method === method) &&
			(route.prefix ? path.startsWith(route.path) : path === route.path);
		const once = this.routes.findIndex((route) => route.once && matches(route));
		if (once >= 0) return this.routes.splice(once, 1)[0];
		const candidates = this.routes.filter((route) => !route.once && matches(route));
		candidates.sort((a, b) => Number(a.prefix) - Number(b.prefix) || b.path.length - a.path.length);
		return candidates[0];
	}

	request(listener, req, res) {
		const chunks = [];
		let size = 0;
		req.on('data', (chunk) => {
			size += chunk.length;
			if (size <= MAX_RECORDED_BODY) chunks.push(chunk);
		});
		req.on('end', () => {
			const body = Buffer.concat(chunks);
			this.records.push({
				listener,
				method: req.method,
				path: req.url,
				httpVersion: req.httpVersion,
				headers: headerPairs(req.rawHeaders),
				body: body.toString('utf8'),
				bodyBase64: body.toString('base64'),
			});
			const route = this.findRoute(req.method, req.url);
			if (!route) {
				res.writeHead(404, { 'Content-Type': 'text/plain' });
				res.end(`no route for ${req.method} ${req.url}\n`);
				return;
			}
			if (route.stall) {
				this.held.add(res);
				return;
			}
			const answer = () => this.answer(route, res);
			if (route.delayMs) setTimeout(answer, Number(route.delayMs));
			else answer();
		});
	}

	async answer(route, res) {
		res.on('error', () => {});
		const body = route.bodyBase64 !== undefined ? Buffer.from(route.bodyBase64, 'base64')
			: route.body !== undefined ? Buffer.from(String(route.body), 'utf8') : null;
		const length = body ? body.length : Number(route.size || 0);
		const headers = { ...(route.headers || {}) };
		if (!route.chunked) headers['Content-Length'] = String(length);
		res.writeHead(Number(route.status || 200), headers);
		const limit = route.dropAfter !== undefined ? Math.min(Number(route.dropAfter), length) : length;
		const fill = Buffer.alloc(64 * 1024, String(route.fill || 'x'));
		let sent = 0;
		while (sent < limit && !res.destroyed) {
			const step = Math.min(fill.length, limit - sent);
			const piece = body ? body.subarray(sent, sent + step) : fill.subarray(0, step);
			sent += step;
			if (!res.write(piece)) {
				await new Promise((resolve) => {
					res.once('drain', resolve);
					res.once('close', resolve);
				});
			}
		}
		if (route.dropAfter !== undefined) {
			// What was written still goes out; then the connection ends
			// short of the announced length.
			if (res.socket) res.socket.end();
			return;
		}
		res.end();
	}

	async command(name, args) {
		switch (name) {
		case 'route':
			if (typeof args.path !== 'string') throw new Error('route needs a path');
			args.method = String(args.method || '*').toUpperCase();
			if (!args.once) {
				this.routes = this.routes.filter((route) => route.once || route.method !== args.method ||
					route.path !== args.path || Boolean(route.prefix) !== Boolean(args.prefix));
			}
			this.routes.push(args);
			return { ok: true };
		case 'clearRoutes':
			this.routes = [];
			return { ok: true };
		case 'requests': {
			const requests = this.records;
			if (args.clear) this.records = [];
			return { requests };
		}
		case 'stall':
			for (const listener of this.listeners) listener.stall(args.on === undefined || args.on === true);
			return { ok: true };
		case 'reset':
			await this.reset();
			return { ok: true };
		default:
			throw new Error(`web: unknown command ${name}`);
		}
	}

	async reset() {
		this.routes = [];
		this.records = [];
		for (const res of this.held) res.destroy();
		this.held.clear();
		for (const listener of this.listeners) {
			listener.stall(false);
			listener.destroyAll();
		}
	}
}

module.exports = { Web };
