'use strict';
// Fake Twitch EventSub WebSocket (the "twitch-eventsub" endpoint): welcomes
// each connection with a new session id and sends the notifications and
// reconnect requests a test asks for, in Twitch's message format. Like Twitch
// it closes a connection that sends it anything (4001), and closes the old
// socket of a reconnect 1 s after the new one arrived. Subscriptions are made
// on the Helix fake (twitch-api) and recorded there.
//
// Commands (POST /twitch-eventsub/<command>) besides those of SocketService;
// session ids are Twitch's:
//   configure {welcome = true, keepaliveSeconds (default: the path's
//              keepalive_timeout_seconds when 10-600, else 10),
//              handshake: "normal"|"reject"}
//   notify    {type, version (default 1), event, session}
//   reconnect {session}   session_reconnect with wss://127.0.0.1:<port>/reconnect?id=<new id>
//   send      {text, session}            raw text
//   sessions  the state: sessions with {welcomed, keepaliveSeconds}

const crypto = require('node:crypto');
const { SocketService } = require('../lib/socket_service');

// Twitch's timestamps carry nanoseconds.
function timestamp(date = new Date()) {
	return date.toISOString().replace(/Z$/, '000000Z');
}

function sessionId() {
	return `AQoQ${crypto.randomBytes(18).toString('base64url')}`;
}

class TwitchEventSub extends SocketService {
	constructor(context) {
		super(context, 'twitch-eventsub');
		this.hidden = ['timers', 'connectedAt'];
	}

	get defaults() {
		return { welcome: true, keepaliveSeconds: null, handshake: 'normal' };
	}

	fresh() {
		super.fresh();
		this.pending = new Map(); // reconnect id -> old session
	}

	refuse() {
		return this.config.handshake === 'reject' ? '503 Service Unavailable' : '';
	}

	opened(session, url) {
		// A reconnect carries the session id over, as Twitch does.
		const moved = url.pathname === '/reconnect' ? url.searchParams.get('id') : null;
		const from = this.pending.get(moved);
		this.pending.delete(moved);
		session.id = from ? moved : sessionId();
		const asked = Number(url.searchParams.get('keepalive_timeout_seconds'));
		Object.assign(session, {
			welcomed: false,
			connectedAt: timestamp(),
			keepaliveSeconds: this.config.keepaliveSeconds ?? (Number.isInteger(asked) && asked >= 10 && asked <= 600 ? asked : 10),
			timers: [],
		});
		session.ws.on('message', () => this.close(session, 4001, 'client sent inbound traffic'));
		session.ws.on('close', () => {
			for (const timer of session.timers) clearTimeout(timer);
			session.timers = [];
		});
		if (this.config.welcome) this.welcome(session);
		if (from) from.timers.push(setTimeout(() => this.close(from, 1000, ''), 1000));
	}

	message(session, type, payload, subscription) {
		if (!session.open) throw new Error(`session ${session.id} is closed`);
		const metadata = { message_id: crypto.randomUUID(), message_type: type, message_timestamp: timestamp() };
		if (subscription) {
			metadata.subscription_type = subscription.type;
			metadata.subscription_version = subscription.version;
		}
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

	command_notify(args) {
		const type = String(args.type || '');
		if (!type) throw new Error('a subscription type is needed');
		const version = String(args.version || '1');
		const event = args.event || {};
		for (const session of this.pick(args)) {
			const subscription = { id: crypto.randomUUID(), status: 'enabled', type, version, cost: 0,
				condition: { broadcaster_user_id: String(event.broadcaster_user_id || '') },
				transport: { method: 'websocket', session_id: session.id }, created_at: session.connectedAt };
			this.message(session, 'notification', { subscription, event }, subscription);
		}
		return { ok: true };
	}

	command_reconnect(args) {
		const [session] = this.pick(args);
		const id = sessionId();
		const url = `wss://127.0.0.1:${this.port}/reconnect?id=${id}`;
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

	command_send(args) {
		for (const session of this.pick(args)) {
			session.ws.send(String(args.text === undefined ? '' : args.text));
		}
		return { ok: true };
	}

	command_sessions() {
		return this.state();
	}

	quiet() {
		for (const session of this.sessions) {
			for (const timer of session.timers) clearTimeout(timer);
			session.timers = [];
		}
	}
}

module.exports = { TwitchEventSub };
