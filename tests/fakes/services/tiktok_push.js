'use strict';
// Fake TikTok push socket: the room's WebSocket that the signing fake's push
// address points at. It checks the query and headers a session was opened
// with (a real server refuses an unsigned address), expects the enter-room
// frame first, decodes every heartbeat and acknowledgement it receives, and
// sends whatever frames a test describes (gzip or plain, see tiktok_wire.js).
//
// Commands (POST /tiktok-push/<command>); "session" picks a session by id,
// the newest open one when left out:
//   configure {handshake: "normal"|"reject", check (true): refuse a query
//              or headers that lack what the module must send}
//   send      {frames: [frame..] | base64 | text, flush}  frames as in
//              tiktok_wire.pushFrame; a frame with needAck and a logId
//              expects an acknowledgement carrying its internalExt
//   close {code, reason}, drop, state, reset

const https = require('node:https');
const { WebSocketServer } = require('ws');
const { Listener } = require('../lib/listener');
const { tlsOptions } = require('../certs');
const { headerPairs } = require('../lib/headers');
const { flushed } = require('../lib/deliver');
const { decode, first, pushFrame, readPushFrame } = require('./tiktok_wire');

const DEFAULTS = { handshake: 'normal', check: true };

// What a signed push address must carry; "" when all is there.
function checkOpening(url, headers) {
	const query = url.searchParams;
	const agent = headers.find(([name]) => name.toLowerCase() === 'user-agent');
	if (!agent || !agent[1].startsWith('Mozilla/5.0')) return 'no browser user agent';
	if (!/^\d+$/.test(query.get('room_id') || '')) return 'no room_id';
	for (const name of ['cursor', 'internal_ext']) if (!query.get(name)) return `no ${name}`;
	if (query.get('compress') !== 'gzip' || query.get('resp_content_type') !== 'protobuf') return 'no gzip protobuf';
	if (query.getAll('version_code').join(',') !== '180800,270000') return 'version_code';
	return '';
}

function text(buffer) {
	return buffer ? buffer.toString('utf8') : null;
}

class TikTokPush {
	constructor(context) {
		this.context = context;
		this.name = 'tiktok-push';
		this.config = structuredClone(DEFAULTS);
		this.sessions = [];
		this.rejected = [];
		this.accepted = 0;
	}

	async start() {
		this.https = https.createServer(tlsOptions(this.context.certs.server), (req, res) => {
			res.writeHead(426, { 'Content-Type': 'text/plain' });
			res.end('WebSocket only\n');
		});
		this.https.on('tlsClientError', () => {});
		this.wss = new WebSocketServer({ noServer: true, maxPayload: 16 * 1024 * 1024 });
		this.https.on('upgrade', (req, socket, head) => this.upgrade(req, socket, head));
		this.listener = new Listener(this.name, this.https);
		const port = await this.listener.listen();
		// Not an endpoint of the module's table: its address reaches the
		// module inside the signing answer.
		this.ports = { 'tiktok-push': port };
		this.endpoints = {};
		this.context.tiktokPushAddress = `127.0.0.1:${port}`;
	}

	async stop() {
		for (const session of this.sessions) session.ws.terminate();
		await this.listener.close();
	}

	upgrade(req, socket, head) {
		socket.on('error', () => {});
		const url = new URL(req.url, 'https://127.0.0.1');
		const headers = headerPairs(req.rawHeaders);
		const problem = this.config.handshake === 'reject' ? 'rejected by configuration'
			: this.config.check ? checkOpening(url, headers) : '';
		if (problem) {
			this.rejected.push({ path: req.url, headers, problem });
			socket.end('HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n');
			return;
		}
		this.wss.handleUpgrade(req, socket, head, (ws) => this.open(ws, req, url, headers));
	}

	open(ws, req, url, headers) {
		const session = {
			id: ++this.accepted,
			ws,
			open: true,
			path: url.pathname,
			query: req.url.includes('?') ? req.url.slice(req.url.indexOf('?') + 1) : '',
			headers,
			received: [],
			entered: null,
			heartbeats: [],
			acks: [],
			expectedAcks: new Map(),
			problems: [],
			closed: null,
		};
		this.sessions.push(session);
		ws.on('message', (data, isBinary) => this.message(session, Buffer.isBuffer(data) ? data : Buffer.concat(data), isBinary));
		ws.on('close', (code, reason) => {
			session.open = false;
			session.closed = { code, reason: reason.toString('utf8') };
		});
		ws.on('error', () => {});
	}

	message(session, data, isBinary) {
		const record = { binary: isBinary, length: data.length, base64: data.toString('base64'), at: Date.now() };
		session.received.push(record);
		if (!isBinary) return session.problems.push('text message');
		let frame;
		try {
			frame = readPushFrame(data);
			// Acknowledgements carry the extension bytes as they are; the
			// other payloads are protobuf.
			const payload = frame.payload && frame.payloadType !== 'ack' ? decode(frame.payload) : [];
			Object.assign(record, { payloadType: frame.payloadType, logId: frame.logId, encoding: frame.encoding,
				fieldOrder: frame.fieldOrder });
			if (!session.entered && frame.payloadType !== 'im_enter_room') session.problems.push(`${frame.payloadType} before entering`);
			if (frame.payloadType === 'im_enter_room') this.enter(session, payload);
			else if (frame.payloadType === 'hb') {
				session.heartbeats.push({ roomId: String(first(payload, 1)), counter: Number(first(payload, 2)),
					fieldOrder: payload.map((f) => f.field), at: Date.now() });
			} else if (frame.payloadType === 'ack') {
				const expected = session.expectedAcks.get(frame.logId);
				const ext = text(frame.payload);
				session.acks.push({ logId: frame.logId, internalExt: ext, matches: expected !== undefined && expected === ext });
				session.expectedAcks.delete(frame.logId);
			} else session.problems.push(`unknown payload type ${frame.payloadType}`);
		} catch (error) {
			session.problems.push(`undecodable frame: ${error.message}`);
		}
	}

	enter(session, payload) {
		if (session.entered) session.problems.push('entered twice');
		const value = (n) => first(payload, n);
		session.entered = {
			roomId: String(value(1)),
			field4: Number(value(4)),
			role: text(value(5)),
			randomId: String(value(8)),
			field9: text(value(9)),
			fieldOrder: payload.map((f) => f.field),
			emptyFields: payload.filter((f) => f.wireType === 2 && f.value.length === 0).map((f) => f.field),
		};
	}

	pick(args) {
		if (args.session !== undefined) {
			const session = this.sessions.find((s) => s.id === Number(args.session));
			if (!session) throw new Error(`no session ${args.session}`);
			return session;
		}
		const open = this.sessions.filter((s) => s.open);
		if (!open.length) throw new Error('no open session');
		return open[open.length - 1];
	}

	sendFrames(session, frames) {
		const sent = [];
		for (const f of frames) {
			if (f.needAck && f.logId !== undefined && f.internalExt !== undefined) {
				session.expectedAcks.set(String(f.logId), String(f.internalExt));
			}
			sent.push(new Promise((resolve) => session.ws.send(pushFrame(f), { binary: true }, () => resolve())));
		}
		return Promise.all(sent);
	}

	async command(name, args) {
		switch (name) {
		case 'configure':
			Object.assign(this.config, args);
			return { config: this.config };
		case 'send': {
			const session = this.pick(args);
			let done;
			if (Array.isArray(args.frames)) done = this.sendFrames(session, args.frames);
			else if (typeof args.base64 === 'string') {
				done = new Promise((resolve) => session.ws.send(Buffer.from(args.base64, 'base64'), { binary: true }, () => resolve()));
			} else if (typeof args.text === 'string') {
				done = new Promise((resolve) => session.ws.send(args.text, { binary: false }, () => resolve()));
			} else throw new Error('send needs frames, base64 or text');
			if (args.flush) await done;
			return { ok: true };
		}
		case 'close': {
			const session = this.pick(args);
			session.ws.close(Number(args.code || 1000), String(args.reason || ''));
			return { ok: true };
		}
		case 'drop': {
			const session = this.pick(args);
			await flushed(session.ws);
			session.ws.terminate();
			return { ok: true };
		}
		case 'state':
			return this.state();
		case 'reset':
			await this.reset();
			return { ok: true };
		default:
			throw new Error(`tiktok-push: unknown command ${name}`);
		}
	}

	// The frames in order, one every intervalMs, to every session that has
	// entered the room.
	state() {
		return {
			accepted: this.accepted,
			rejected: this.rejected,
			sessions: this.sessions.map((s) => ({
				id: s.id,
				open: s.open,
				path: s.path,
				query: s.query,
				headers: s.headers,
				received: s.received,
				entered: s.entered,
				heartbeats: s.heartbeats,
				acks: s.acks,
				pendingAcks: [...s.expectedAcks.keys()],
				problems: s.problems,
				closed: s.closed,
			})),
		};
	}

	async reset() {
		for (const session of this.sessions) session.ws.terminate();
		this.listener.destroyAll();
		this.sessions = [];
		this.rejected = [];
		this.accepted = 0;
		this.config = structuredClone(DEFAULTS);
	}
}

module.exports = { TikTokPush };
