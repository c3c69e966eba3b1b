'use strict';
// Fake Twitch EventSub WebSocket (the "twitch-eventsub" endpoint): accepts a
// secure WebSocket on any path, welcomes each connection with a new session
// id, and sends the notifications, revocations, keep-alives and reconnect
// requests a test asks for, in Twitch's message format. Like Twitch it closes
// a connection that sends it anything (4001), moves a session to the
// reconnect URL and closes the old socket shortly after the new one arrived,
// and closes the old one with 4004 when nobody came within the grace time.
// Subscriptions are made on the Helix fake (twitch-api) and recorded there;
// the two fakes do not know each other.
//
// Commands (POST /twitch-eventsub/<command>); "session" is a session id, the
// newest open session when left out:
//   configure {welcome = true, keepaliveSeconds (default: the path's
//              keepalive_timeout_seconds when 10-600, else 10),
//              handshake: "normal"|"reject"}; the old socket of a reconnect
//              closes 1 s after the new one came, or after 30 s unanswered
//   notify    {type, version, event, condition, subscriptionId, messageId, session | all}
//   revoke    {type, version, status = "authorization_revoked", condition, session}
//   keepalive {session}
//   reconnect {session}   session_reconnect with wss://127.0.0.1:<port>/reconnect?id=<new id>
//   send      {text, session}            raw text
//   close     {code = 1000, reason, session}
//   drop      {session}                  TCP cut without a close frame
//   sessions  {}   {accepted, sessions: [{id, path, headers, open, welcomed,
//                  keepaliveSeconds, reconnectedFrom, sent: [message types],
//                  received: [texts], closed: {code, reason, by}}]}
//   reset     {}

const https = require('node:https');
const crypto = require('node:crypto');
const { WebSocketServer } = require('ws');
const { Listener } = require('../lib/listener');
const { tlsOptions } = require('../certs');
const { headerPairs } = require('../lib/headers');
const { flushed } = require('../lib/deliver');

const DEFAULTS = {
	welcome: true,
	keepaliveSeconds: null,
	handshake: 'normal',
};

// Versions the notifications carry when a test names none.
const VERSIONS = {
	'automod.message.hold': '2',
	'automod.message.update': '2',
	'channel.follow': '2',
	'channel.hype_train.begin': '2',
	'channel.hype_train.progress': '2',
	'channel.hype_train.end': '2',
};

// Twitch's timestamps carry nanoseconds.
function timestamp(date = new Date()) {
	return date.toISOString().replace(/Z$/, '000000Z');
}

function sessionId() {
	return `AQoQ${crypto.randomBytes(18).toString('base64url')}`;
}

function defaultCondition(type, event) {
	const condition = { broadcaster_user_id: String(event.broadcaster_user_id || '') };
	if (type.startsWith('automod.') || type === 'channel.follow') {
		condition.moderator_user_id = String(event.moderator_user_id || event.broadcaster_user_id || '');
	}
	return condition;
}

class TwitchEventSub {
	constructor(context) {
		this.context = context;
		this.name = 'twitch-eventsub';
		this.config = { ...DEFAULTS };
		this.sessions = [];
		this.accepted = 0;
		this.pending = new Map(); // reconnect id -> old session
	}

	async start() {
		this.https = https.createServer(tlsOptions(this.context.certs.server), (req, res) => {
			res.writeHead(426, { 'Content-Type': 'text/plain' });
			res.end('WebSocket only\n');
		});
		this.https.on('tlsClientError', () => {});
		this.wss = new WebSocketServer({ noServer: true });
		this.https.on('upgrade', (req, socket, head) => {
			socket.on('error', () => {});
			if (this.config.handshake === 'reject') {
				socket.end('HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n');
				return;
			}
			this.wss.handleUpgrade(req, socket, head, (ws) => this.open(ws, req));
		});
		this.listener = new Listener(this.name, this.https);
		this.port = await this.listener.listen();
		this.endpoints = { 'twitch-eventsub': this.port };
	}

	async stop() {
		this.clearTimers();
		for (const session of this.sessions) session.ws.terminate();
		await this.listener.close();
	}

	open(ws, req) {
		this.accepted += 1;
		const url = new URL(req.url, 'https://127.0.0.1');
		let id = sessionId();
		let from = null;
		if (url.pathname === '/reconnect') {
			from = this.pending.get(url.searchParams.get('id')) || null;
			if (from) {
				this.pending.delete(from.reconnect.id);
				id = from.reconnect.id;
			}
		}
		const asked = Number(url.searchParams.get('keepalive_timeout_seconds'));
		const session = {
			id,
			ws,
			path: req.url,
			headers: headerPairs(req.rawHeaders),
			open: true,
			welcomed: false,
			connectedAt: timestamp(),
			keepaliveSeconds: this.config.keepaliveSeconds ?? (Number.isInteger(asked) && asked >= 10 && asked <= 600 ? asked : 10),
			reconnectedFrom: from ? from.id : null,
			reconnect: null,
			sent: [],
			received: [],
			closed: null,
			timers: [],
		};
		this.sessions.push(session);
		this.context.log(`twitch-eventsub: session ${id} open on ${req.url}`);
		ws.on('message', (data) => {
			session.received.push(Buffer.isBuffer(data) ? data.toString('utf8') : Buffer.concat(data).toString('utf8'));
			this.close(session, 4001, 'client sent inbound traffic');
		});
		ws.on('close', (code, reason) => {
			session.open = false;
			if (!session.closed) session.closed = { code, reason: reason.toString('utf8'), by: 'client' };
			for (const timer of session.timers) clearTimeout(timer);
			session.timers = [];
		});
		ws.on('error', () => {});

		if (url.pathname === '/reconnect' && !from) {
			this.close(session, 4007, 'invalid reconnect');
			return;
		}
		if (this.config.welcome) this.welcome(session);
		if (from) {
			clearTimeout(from.reconnect.grace);
			from.timers.push(setTimeout(() => this.close(from, 1000, ''), 1000));
		}
	}

	message(session, type, payload, extra = {}) {
		if (!session.open) throw new Error(`session ${session.id} is closed`);
		const metadata = { message_id: extra.messageId || crypto.randomUUID(), message_type: type, message_timestamp: timestamp() };
		if (extra.subscriptionType) {
			metadata.subscription_type = extra.subscriptionType;
			metadata.subscription_version = extra.subscriptionVersion;
		}
		session.sent.push(type);
		session.ws.send(JSON.stringify({ metadata, payload }));
	}

	welcome(session) {
		session.welcomed = true;
		this.message(session, 'session_welcome', {
			session: {
				id: session.id,
				status: 'connected',
				keepalive_timeout_seconds: session.keepaliveSeconds,
				reconnect_url: null,
				connected_at: session.connectedAt,
			},
		});
	}

	subscription(session, args, status) {
		const type = String(args.type || '');
		if (!type) throw new Error('a subscription type is needed');
		const version = String(args.version || VERSIONS[type] || '1');
		const event = args.event || {};
		return {
			type,
			version,
			body: {
				id: args.subscriptionId || crypto.randomUUID(),
				status,
				type,
				version,
				cost: 0,
				condition: args.condition || defaultCondition(type, event),
				transport: { method: 'websocket', session_id: session.id },
				created_at: session.connectedAt,
			},
		};
	}

	close(session, code, reason) {
		if (!session.open) return;
		session.closed = { code, reason, by: 'server' };
		session.ws.close(code, reason);
	}

	pick(args) {
		if (args.session !== undefined && args.session !== null && args.session !== '') {
			const session = this.sessions.find((s) => s.id === String(args.session));
			if (!session) throw new Error(`no session ${args.session}`);
			return [session];
		}
		const open = this.sessions.filter((s) => s.open);
		if (args.all) return open;
		if (!open.length) throw new Error('no open session');
		return [open[open.length - 1]];
	}

	async command(name, args) {
		switch (name) {
		case 'configure':
			Object.assign(this.config, args);
			return { config: this.config };
		case 'notify':
			for (const session of this.pick(args)) {
				const { type, version, body } = this.subscription(session, args, 'enabled');
				this.message(session, 'notification', { subscription: body, event: args.event || {} },
					{ subscriptionType: type, subscriptionVersion: version, messageId: args.messageId });
			}
			return { ok: true };
		case 'revoke':
			for (const session of this.pick(args)) {
				const { type, version, body } = this.subscription(session, args, String(args.status || 'authorization_revoked'));
				this.message(session, 'revocation', { subscription: body },
					{ subscriptionType: type, subscriptionVersion: version });
			}
			return { ok: true };
		case 'keepalive':
			for (const session of this.pick(args)) this.message(session, 'session_keepalive', {});
			return { ok: true };
		case 'reconnect': {
			const [session] = this.pick(args);
			const id = sessionId();
			const url = `wss://127.0.0.1:${this.port}/reconnect?id=${id}`;
			clearTimeout(session.reconnect && session.reconnect.grace);
			session.reconnect = { id, url, grace: setTimeout(() => this.close(session, 4004, 'reconnect grace time expired'), 30000) };
			session.timers.push(session.reconnect.grace);
			this.pending.set(id, session);
			this.message(session, 'session_reconnect', {
				session: {
					id: session.id,
					status: 'reconnecting',
					keepalive_timeout_seconds: null,
					reconnect_url: url,
					connected_at: session.connectedAt,
				},
			});
			return { ok: true, id, url };
		}
		case 'send':
			for (const session of this.pick(args)) {
				session.sent.push('raw');
				session.ws.send(String(args.text === undefined ? '' : args.text));
			}
			return { ok: true };
		case 'close':
			for (const session of this.pick(args)) this.close(session, Number(args.code || 1000), String(args.reason || ''));
			return { ok: true };
		case 'drop':
			for (const session of this.pick(args)) {
				await flushed(session.ws);
				session.closed = { code: 1006, reason: '', by: 'server' };
				session.ws.terminate();
			}
			return { ok: true };
		case 'sessions':
			return {
				accepted: this.accepted,
				sessions: this.sessions.map(({ id, path, headers, open, welcomed, keepaliveSeconds, reconnectedFrom, sent, received, closed }) =>
					({ id, path, headers, open, welcomed, keepaliveSeconds, reconnectedFrom, sent, received, closed })),
			};
		case 'reset':
			await this.reset();
			return { ok: true };
		default:
			throw new Error(`twitch-eventsub: unknown command ${name}`);
		}
	}

	clearTimers() {
		for (const session of this.sessions) {
			for (const timer of session.timers) clearTimeout(timer);
			session.timers = [];
		}
	}

	async reset() {
		this.clearTimers();
		for (const session of this.sessions) session.ws.terminate();
		this.listener.destroyAll();
		this.sessions = [];
		this.pending.clear();
		this.accepted = 0;
		this.config = { ...DEFAULTS };
	}
}

module.exports = { TwitchEventSub };
