'use strict';
// Fake Twitch chat: IRC lines over a secure WebSocket, answering the way the
// real service does for an anonymous reader (CAP ACK, the welcome numerics,
// JOIN echo + NAMES + ROOMSTATE, PING/PONG), and sending whatever a test
// scripts. Every session records the exact messages it received.
//
// Commands (POST /twitch-chat/<command>) besides those of SocketService:
//   configure {join: "normal"|"notice" (the suspended-channel NOTICE), roomId,
//              handshake: "normal"|"stall-tls"|"stall-upgrade"|"reject"}
//   send      {lines | text | size+fill | base64, binary, splitAt, fragments,
//              templates, flush (answer only once it was written)}
//   ping      {token, websocket}  PING :token (the PONG is checked and recorded);
//                              with websocket, a WebSocket ping (pongs in wsPongs)
//   stall     {}               stop reading and answering
//   play      {lines, intervalMs, loop, startDelayMs}  lines on a timer to every
//                              joined session (the demo's chat)
//   flood     {lines, linesPerMessage, messagesPerSecond, seconds}  a steady load
//              (the benchmarks); lines may hold {seq} (the line's number) and
//              {sent} (the monotonic clock in microseconds when it is written)

const crypto = require('node:crypto');
const { SocketService } = require('../lib/socket_service');
const { payloadOf, deliver } = require('../lib/deliver');

function applyTemplates(line, session) {
	const channel = session.joined[0] || 'channel';
	return line
		.replaceAll('{channel}', channel)
		.replaceAll('{nick}', session.nick || 'justinfan')
		.replaceAll('{roomId}', session.roomId)
		.replaceAll('{ts}', String(Date.now()))
		.replaceAll('{id}', () => crypto.randomUUID());
}

class TwitchChat extends SocketService {
	constructor(context) {
		super(context, 'twitch-chat');
		this.player = null;
		this.flooding = null;
		this.heldUpgrades = new Set();
	}

	get defaults() {
		return { join: 'normal', roomId: '22484632', handshake: 'normal' };
	}

	refuse(req, url, socket) {
		if (this.config.handshake === 'stall-upgrade') {
			this.heldUpgrades.add(socket);
			return null;
		}
		return this.config.handshake === 'reject' ? '403 Forbidden' : '';
	}

	opened(session) {
		Object.assign(session, { nick: null, caps: [], joined: [], roomId: this.config.roomId, received: [], lines: [],
			pingsSent: [], pongs: [], wsPongs: [], stalled: false });
		session.ws.on('message', (data, isBinary) => this.message(session, data, isBinary));
		session.ws.on('pong', (data) => session.wsPongs.push(data.toString('utf8')));
	}

	message(session, data, isBinary) {
		const buffer = Buffer.isBuffer(data) ? data : Buffer.concat(data);
		session.received.push(isBinary
			? { binary: true, base64: buffer.toString('base64'), length: buffer.length }
			: { binary: false, data: buffer.toString('utf8'), length: buffer.length });
		if (isBinary) return;
		// As on Twitch, the end of a message also ends a line (tmi.js sends
		// its commands without CR LF); a line is never split across messages.
		const parts = buffer.toString('utf8').split('\r\n');
		if (parts.at(-1) === '') parts.pop();
		for (const line of parts) {
			session.lines.push(line);
			if (!session.stalled) this.line(session, line);
		}
	}

	sendLines(session, lines) {
		if (!session.open || session.stalled) return;
		session.ws.send(lines.map((line) => `${line}\r\n`).join(''));
	}

	line(session, line) {
		const words = line.split(' ');
		const command = words[0].toUpperCase();
		const trailing = line.includes(' :') ? line.slice(line.indexOf(' :') + 2) : words.slice(1).join(' ');
		if (command === 'CAP' && words[1] === 'REQ') {
			session.caps = trailing.split(' ').filter(Boolean);
			this.sendLines(session, [`:tmi.twitch.tv CAP * ACK :${trailing}`]);
		} else if (command === 'NICK') {
			session.nick = words[1] || '';
			this.sendLines(session, welcome(session.nick));
		} else if (command === 'JOIN') {
			for (const name of (words[1] || '').split(',')) {
				if (name) this.join(session, name.replace(/^#/, '').toLowerCase());
			}
		} else if (command === 'PING') {
			this.sendLines(session, [`:tmi.twitch.tv PONG tmi.twitch.tv :${trailing}`]);
		} else if (command === 'PONG') {
			const expected = session.pingsSent[session.pingsSent.length - 1];
			session.pongs.push({ line, token: trailing, matches: trailing === expected });
		}
	}

	join(session, channel) {
		if (this.config.join === 'notice') {
			this.sendLines(session, [`@msg-id=msg_channel_suspended :tmi.twitch.tv NOTICE #${channel} :` +
				'This channel does not exist or has been suspended.']);
			return;
		}
		session.joined.push(channel);
		const nick = session.nick || 'justinfan';
		const joinLines = [
			`:${nick}!${nick}@${nick}.tmi.twitch.tv JOIN #${channel}`,
			`:${nick}.tmi.twitch.tv 353 ${nick} = #${channel} :${nick}`,
			`:${nick}.tmi.twitch.tv 366 ${nick} #${channel} :End of /NAMES list`,
		];
		const tags = session.caps.includes('twitch.tv/tags')
			? `@emote-only=0;followers-only=-1;r9k=0;room-id=${session.roomId};slow=0;subs-only=0 `
			: '';
		this.sendLines(session, joinLines);
		this.sendLines(session, [`${tags}:tmi.twitch.tv ROOMSTATE #${channel}`]);
	}

	async command(name, args) {
		if (name === 'configure') this.listener.stall(args.handshake === 'stall-tls');
		return super.command(name, args);
	}

	async command_send(args) {
		for (const session of this.pick(args)) {
			const transform = args.templates ? (line) => applyTemplates(line, session) : undefined;
			const done = deliver(session.ws, payloadOf(args, transform), args);
			if (args.flush) await done;
		}
		return { ok: true };
	}

	command_ping(args) {
		for (const session of this.pick(args)) {
			const token = args.token || 'tmi.twitch.tv';
			session.pingsSent.push(token);
			if (args.websocket) session.ws.ping(token);
			else deliver(session.ws, Buffer.from(`PING :${token}\r\n`), {});
		}
		return { ok: true };
	}

	command_stall(args) {
		for (const session of this.pick(args)) {
			session.stalled = true;
			session.ws._socket.pause();
		}
		return { ok: true };
	}

	// Plays the lines in order, one every intervalMs, to every session that
	// has joined a channel at that moment.
	command_play(args) {
		this.stopPlay();
		const lines = (args.lines || []).map(String);
		if (!lines.length) return;
		const interval = Math.max(10, Number(args.intervalMs || 1500));
		let next = 0;
		const tick = () => {
			if (next >= lines.length) {
				if (!args.loop) return this.stopPlay();
				next = 0;
			}
			this.toJoined([lines[next++]]);
		};
		this.player = { timer: null, start: setTimeout(() => {
			this.player.timer = setInterval(tick, interval);
			tick();
		}, Number(args.startDelayMs || 0)) };
	}

	toJoined(lines) {
		for (const session of this.sessions) {
			if (session.joined.length) this.sendLines(session, lines.map((line) => applyTemplates(line, session)));
		}
	}

	stopPlay() {
		if (!this.player) return;
		clearTimeout(this.player.start);
		clearInterval(this.player.timer);
		this.player = null;
	}

	// Sends on schedule from the start time, catching up after a late timer,
	// so the rate holds however the event loop is busy.
	command_flood(args) {
		this.stopFlood();
		const lines = (args.lines || []).map(String);
		if (!lines.length) throw new Error('flood needs lines');
		const perMessage = Math.max(1, Number(args.linesPerMessage || 1));
		const rate = Math.max(1, Number(args.messagesPerSecond || 100));
		const total = Math.round(rate * Number(args.seconds || 1));
		const flood = { messages: 0, lines: 0, total, timer: null };
		this.flooding = flood;
		const start = performance.now();
		const tick = () => {
			const due = Math.min(total, Math.floor(((performance.now() - start) * rate) / 1000) + 1);
			for (; flood.messages < due; flood.messages++) {
				const sent = String(process.hrtime.bigint() / 1000n);
				const batch = [];
				for (let i = 0; i < perMessage; i++, flood.lines++) {
					batch.push(lines[flood.lines % lines.length].replaceAll('{seq}', String(flood.lines))
						.replaceAll('{sent}', sent));
				}
				this.toJoined(batch);
			}
			if (flood.messages < total) {
				flood.timer = setTimeout(tick, start + (flood.messages * 1000) / rate - performance.now());
			}
		};
		tick();
		return { total, lines: total * perMessage };
	}

	stopFlood() {
		if (this.flooding) clearTimeout(this.flooding.timer);
		this.flooding = null;
	}

	state() {
		const flood = this.flooding;
		return {
			...super.state(),
			flood: flood && { messages: flood.messages, lines: flood.lines, done: flood.messages >= flood.total },
		};
	}

	quiet() {
		this.stopPlay();
		this.stopFlood();
		for (const socket of this.heldUpgrades) socket.destroy();
		this.heldUpgrades.clear();
		if (this.listener) this.listener.stall(false);
	}
}

function welcome(nick) {
	return [
		`:tmi.twitch.tv 001 ${nick} :Welcome, GLHF!`,
		`:tmi.twitch.tv 372 ${nick} :You are in a maze of twisty passages, all alike.`,
		`:tmi.twitch.tv 376 ${nick} :>`,
	];
}

module.exports = { TwitchChat };
