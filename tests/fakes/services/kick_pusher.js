'use strict';
// Fake Kick chat socket: Pusher's protocol as Kick's web player meets it
// (connection_established, subscribe, ping). Events go to the sessions
// subscribed to their channel, their data a JSON string inside the envelope,
// as Kick sends them.
//
// Commands (POST /kick-pusher/<command>) besides those of SocketService:
//   send   {channel, events: [{event, data}]}
//   play   {channel, events, intervalMs = 3000, loop}  (the demo's Kick chat)

const { SocketService } = require('../lib/socket_service');

class KickPusher extends SocketService {
	constructor(context) {
		super(context, 'kick-pusher');
	}

	quiet() {
		clearInterval(this.player);
	}

	opened(session, url, req) {
		const ws = session.ws;
		session.subscribed = [];
		const send = (event, data, channel) => ws.send(JSON.stringify({ event, data: JSON.stringify(data), channel }));
		ws.on('message', (raw) => {
			let frame;
			try {
				frame = JSON.parse(raw.toString('utf8'));
			} catch {
				return;
			}
			if (frame.event === 'pusher:ping') {
				ws.send(JSON.stringify({ event: 'pusher:pong', data: '{}' }));
			} else if (frame.event === 'pusher:subscribe') {
				const channel = frame.data && frame.data.channel;
				session.subscribed.push(channel);
				send('pusher_internal:subscription_succeeded', {}, channel);
			}
		});
		send('pusher:connection_established', { socket_id: `${session.id}.1`, activity_timeout: 120 });
	}

	command_send(args) {
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

	command_play(args) {
		clearInterval(this.player);
		let next = 0;
		const events = args.events || [];
		this.player = setInterval(() => {
			if (next >= events.length && !args.loop) return clearInterval(this.player);
			const { event, data } = events[next++ % events.length];
			// Each round gets ids of its own, as the pages know lines by them.
			const fresh = { ...data, id: `${data.id || 'demo'}-${next}` };
			this.command_send({ channel: args.channel, events: [{ event, data: fresh }] });
		}, args.intervalMs || 3000);
		return { ok: true };
	}
}

module.exports = { KickPusher };
