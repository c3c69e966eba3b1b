'use strict';
// Fake TikTok push socket: the room's WebSocket that the signing fake's push
// address points at. It checks the query and headers a session was opened
// with (a real server refuses an unsigned address), expects the enter-room
// frame first, decodes every heartbeat and acknowledgement it receives, and
// sends whatever frames a test describes (gzip or plain, see tiktok_wire.js).
//
// Commands (POST /tiktok-push/<command>) besides those of SocketService:
//   configure {handshake: "normal"|"reject", check (true): refuse a query
//              or headers that lack what the module must send}
//   send      {frames: [frame..] | base64 | text, flush}  frames as in
//              tiktok_wire.pushFrame; a frame with needAck and a logId
//              expects an acknowledgement carrying its internalExt

const { SocketService } = require('../lib/socket_service');
const { headerPairs } = require('../lib/listener');
const { deliver } = require('../lib/deliver');
const { decode, first, pushFrame, readPushFrame } = require('./tiktok_wire');

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

class TikTokPush extends SocketService {
	constructor(context) {
		super(context, 'tiktok-push');
		this.hidden = ['expectedAcks'];
	}

	get defaults() {
		return { handshake: 'normal', check: true };
	}

	fresh() {
		super.fresh();
		this.rejected = [];
	}

	async start() {
		await super.start();
		// Not an endpoint of the module's table: its address reaches the
		// module inside the signing answer.
		this.ports = this.endpoints;
		this.endpoints = {};
		this.context.tiktokPushAddress = `127.0.0.1:${this.port}`;
	}

	refuse(req, url) {
		const headers = headerPairs(req.rawHeaders);
		const problem = this.config.handshake === 'reject' ? 'rejected by configuration'
			: this.config.check ? checkOpening(url, headers) : '';
		if (problem) this.rejected.push({ path: req.url, headers, problem });
		return problem ? '400 Bad Request' : '';
	}

	opened(session, url, req) {
		Object.assign(session, { path: url.pathname, query: req.url.includes('?') ? req.url.slice(req.url.indexOf('?') + 1) : '',
			received: [], entered: null, heartbeats: [], acks: [], expectedAcks: new Map(), problems: [] });
		session.ws.on('message', (data, isBinary) => this.message(session, Buffer.isBuffer(data) ? data : Buffer.concat(data), isBinary));
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

	async command_send(args) {
		const [session] = this.pick(args);
		let done;
		if (Array.isArray(args.frames)) done = this.sendFrames(session, args.frames);
		else if (typeof args.base64 === 'string') done = deliver(session.ws, Buffer.from(args.base64, 'base64'), { binary: true });
		else if (typeof args.text === 'string') done = deliver(session.ws, Buffer.from(args.text), {});
		else throw new Error('send needs frames, base64 or text');
		if (args.flush) await done;
		return { ok: true };
	}

	state() {
		const state = super.state();
		state.sessions.forEach((s, i) => { s.pendingAcks = [...this.sessions[i].expectedAcks.keys()]; });
		return { ...state, rejected: this.rejected };
	}
}

module.exports = { TikTokPush };
