'use strict';
// Fake Kick chat socket: Pusher's protocol as Kick's web player meets it.
// A session gets "pusher:connection_established" at once, answers
// "pusher:subscribe" with "pusher_internal:subscription_succeeded" (or a
// "pusher:subscription_error" while refusing), and "pusher:ping" with
// "pusher:pong". Events go to sessions subscribed to their channel with the
// data written as a JSON string inside the envelope, as Kick sends them.
//
// Commands (POST /kick-pusher/<command>):
//   send   {channel, events: [{event, data}]}  data objects are stringified
//   play   {channel, events, intervalMs = 3000, loop}  one event per interval
//          (the demo's Kick chat)
//   refuse {on = true}   subscriptions get an error
//   state               {sessions: [{path, open, subscribed: [..], pings}]}
//   drop                cuts every session; reset

const https = require('node:https');
const { WebSocketServer } = require('ws');
const { Listener } = require('../lib/listener');
const { tlsOptions } = require('../certs');

class KickPusher {
	constructor(context) {
		this.context = context;
		this.name = 'kick-pusher';
		this.sessions = [];
		this.refusing = false;
	}

	async start() {
		this.https = https.createServer(tlsOptions(this.context.certs.server), (req, res) => res.writeHead(426).end());
		this.https.on('tlsClientError', () => {});
		this.wss = new WebSocketServer({ server: this.https });
		this.wss.on('connection', (ws, req) => this.open(ws, req));
		this.listener = new Listener(this.name, this.https);
		this.endpoints = { 'kick-pusher': await this.listener.listen() };
	}

	async stop() {
		clearInterval(this.player);
		await this.listener.close();
	}

	open(ws, req) {
		const session = { ws, path: req.url, open: true, subscribed: [], pings: 0 };
		this.sessions.push(session);
		const send = (event, data, channel) => ws.send(JSON.stringify({ event, data: JSON.stringify(data), channel }));
		ws.on('message', (raw) => {
			let frame;
			try {
				frame = JSON.parse(raw.toString('utf8'));
			} catch {
				return;
			}
			if (frame.event === 'pusher:ping') {
				session.pings += 1;
				ws.send(JSON.stringify({ event: 'pusher:pong', data: '{}' }));
			} else if (frame.event === 'pusher:subscribe') {
				const channel = frame.data && frame.data.channel;
				if (this.refusing) return send('pusher:subscription_error', { type: 'AuthError', error: 'refused', status: 401 }, channel);
				session.subscribed.push(channel);
				send('pusher_internal:subscription_succeeded', {}, channel);
			}
		});
		ws.on('close', () => (session.open = false));
		ws.on('error', () => {});
		send('pusher:connection_established', { socket_id: `${this.sessions.length}.1`, activity_timeout: 120 });
	}

	async command(name, args) {
		switch (name) {
		case 'send': {
			let sent = 0;
			for (const session of this.sessions) {
				if (!session.open || !session.subscribed.includes(args.channel)) continue;
				for (const { event, data } of args.events || []) {
					session.ws.send(JSON.stringify({ event, data: typeof data === 'string' ? data : JSON.stringify(data), channel: args.channel }));
				}
				sent += 1;
			}
			return { sessions: sent };
		}
		case 'play': {
			clearInterval(this.player);
			let next = 0;
			const events = args.events || [];
			this.player = setInterval(() => {
				if (next >= events.length && !args.loop) return clearInterval(this.player);
				const { event, data } = events[next++ % events.length];
				// Each round gets ids of its own, as the pages know lines by them.
				const fresh = { ...data, id: `${data.id || 'demo'}-${next}` };
				this.command('send', { channel: args.channel, events: [{ event, data: fresh }] });
			}, args.intervalMs || 3000);
			return { ok: true };
		}
		case 'refuse':
			this.refusing = args.on !== false;
			return { ok: true };
		case 'state':
			return { sessions: this.sessions.map(({ path, open, subscribed, pings }) => ({ path, open, subscribed, pings })) };
		case 'drop':
			for (const session of this.sessions) session.ws.terminate();
			return { ok: true };
		case 'reset':
			await this.reset();
			return { ok: true };
		default:
			throw new Error(`kick-pusher: unknown command ${name}`);
		}
	}

	async reset() {
		clearInterval(this.player);
		for (const session of this.sessions) session.ws.terminate();
		this.sessions = [];
		this.refusing = false;
	}
}

module.exports = { KickPusher };
