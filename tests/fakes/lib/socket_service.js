'use strict';
// The base of the WebSocket fakes: one TLS listener that answers plain HTTP
// with 426 and upgrades any path (unless the service refuses or holds the
// opening), one recorded session per connection, and the commands they share.
//
// A service extends SocketService and gives:
//   defaults        its configuration at start and after a reset
//   refuse(req, url, socket)  (optional) '' to upgrade, a status line ("403
//                   Forbidden") to refuse, null when it keeps the socket itself
//   opened(session, url, req) fills in its own fields and listens on
//                   session.ws; the base set id (1, 2, ...), ws, open, path,
//                   headers and closed ({code, reason, by})
//   hidden          session fields left out of the state (ws always is)
//   quiet()         stops the service's timers (on stop and reset; optional)
//   more commands: a method `command_<name>(args)` each
// Common commands ("session" picks a session by id, the newest open one when
// left out): configure, close {code, reason}, drop (the TCP connection cut
// after what was sent), state, reset.

const https = require('node:https');
const { WebSocketServer } = require('ws');
const { Listener, headerPairs } = require('./listener');
const { tlsOptions } = require('../certs');
const { flushed } = require('./deliver');

class SocketService {
	constructor(context, name) {
		this.context = context;
		this.name = name;
		this.hidden = [];
		this.fresh();
	}

	fresh() {
		this.config = structuredClone(this.defaults || {});
		this.sessions = [];
		this.accepted = 0;
	}

	async start() {
		const server = https.createServer(tlsOptions(this.context.certs.server), (req, res) => {
			res.writeHead(426, { 'Content-Type': 'text/plain' });
			res.end('WebSocket only\n');
		});
		server.on('tlsClientError', () => {});
		this.wss = new WebSocketServer({ noServer: true, maxPayload: 64 * 1024 * 1024 });
		server.on('upgrade', (req, socket, head) => {
			socket.on('error', () => {});
			const url = new URL(req.url, 'https://127.0.0.1');
			const refusal = this.refuse ? this.refuse(req, url, socket) : '';
			if (refusal) socket.end(`HTTP/1.1 ${refusal}\r\nContent-Length: 0\r\nConnection: close\r\n\r\n`);
			else if (refusal === '') this.wss.handleUpgrade(req, socket, head, (ws) => this.open(ws, req, url));
		});
		this.listener = new Listener(this.name, server);
		this.port = await this.listener.listen();
		this.endpoints = { [this.name]: this.port };
	}

	async stop() {
		this.quiet?.();
		for (const session of this.sessions) session.ws.terminate();
		await this.listener.close();
	}

	open(ws, req, url) {
		const session = { id: ++this.accepted, ws, open: true, path: req.url, headers: headerPairs(req.rawHeaders),
			closed: null };
		this.sessions.push(session);
		ws.on('close', (code, reason) => {
			session.open = false;
			if (!session.closed) session.closed = { code, reason: reason.toString('utf8'), by: 'client' };
		});
		ws.on('error', () => {});
		this.context.log(`${this.name}: session ${session.id} open on ${req.url}`);
		this.opened(session, url, req);
	}

	close(session, code, reason) {
		if (!session.open) return;
		session.closed = { code, reason, by: 'server' };
		session.ws.close(code, reason);
	}

	pick(args) {
		if (args.session !== undefined && args.session !== null && args.session !== '') {
			const session = this.sessions.find((s) => String(s.id) === String(args.session));
			if (!session) throw new Error(`no session ${args.session}`);
			return [session];
		}
		const open = this.sessions.filter((s) => s.open);
		if (!open.length) throw new Error('no open session');
		return [open[open.length - 1]];
	}

	state() {
		return {
			accepted: this.accepted,
			sessions: this.sessions.map((session) => Object.fromEntries(Object.entries(session)
				.filter(([key]) => key !== 'ws' && !this.hidden.includes(key)))),
		};
	}

	async command(name, args) {
		switch (name) {
		case 'configure':
			Object.assign(this.config, args);
			return { config: this.config };
		case 'close':
			for (const session of this.pick(args)) this.close(session, Number(args.code || 1000), String(args.reason || ''));
			return { ok: true };
		case 'drop':
			for (const session of this.pick(args)) {
				await flushed(session.ws);
				if (!session.closed) session.closed = { code: 1006, reason: '', by: 'server' };
				session.ws.terminate();
			}
			return { ok: true };
		case 'state':
			return this.state();
		case 'reset':
			return this.reset();
		default:
			if (typeof this[`command_${name}`] !== 'function') throw new Error(`${this.name}: unknown command ${name}`);
			return this[`command_${name}`](args);
		}
	}

	async reset() {
		this.quiet?.();
		for (const session of this.sessions) session.ws.terminate();
		this.listener.destroyAll();
		this.fresh();
		return { ok: true };
	}
}

module.exports = { SocketService };
