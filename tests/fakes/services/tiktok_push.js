'use strict';
// Fake TikTok push socket: the room's WebSocket that the signing fake's push
// address points at. It expects the enter-room frame first, decodes every
// heartbeat and acknowledgement it receives, and sends whatever frames a test
// describes (gzip or plain, see tiktok_wire.js).
//
// Commands (POST /tiktok-push/<command>) besides those of SocketService:
//   configure {handshake: "normal"|"reject"}
//   send      {frames: [frame..]}  frames as in tiktok_wire.pushFrame; a
//              frame with needAck and a logId expects an acknowledgement
//              carrying its internalExt

const { SocketService } = require('../lib/socket_service');
const { decode, first, pushFrame, readPushFrame } = require('./tiktok_wire');

function text(buffer) {
	return buffer ? buffer.toString('utf8') : null;
}

class TikTokPush extends SocketService {
	constructor(context) {
		super(context, 'tiktok-push');
		this.hidden = ['expectedAcks'];
	}

	get defaults() {
		return { handshake: 'normal' };
	}

	async start() {
		await super.start();
		// Not an endpoint of the module's table: its address reaches the
		// module inside the signing answer.
		this.ports = this.endpoints;
		this.endpoints = {};
		this.context.tiktokPushAddress = `127.0.0.1:${this.port}`;
	}

	refuse() {
		return this.config.handshake === 'reject' ? '400 Bad Request' : '';
	}

	opened(session, url) {
		Object.assign(session, { path: url.pathname, entered: null, heartbeats: [], acks: [], expectedAcks: new Map(), problems: [] });
		session.ws.on('message', (data, isBinary) => this.message(session, Buffer.isBuffer(data) ? data : Buffer.concat(data), isBinary));
	}

	message(session, data, isBinary) {
		if (!isBinary) return session.problems.push('text message');
		try {
			const frame = readPushFrame(data);
			// Acknowledgements carry the extension bytes as they are; the
			// other payloads are protobuf.
			const payload = frame.payload && frame.payloadType !== 'ack' ? decode(frame.payload) : [];
			if (!session.entered && frame.payloadType !== 'im_enter_room') session.problems.push(`${frame.payloadType} before entering`);
			if (frame.payloadType === 'im_enter_room') this.enter(session, payload);
			else if (frame.payloadType === 'hb') {
				session.heartbeats.push({ roomId: String(first(payload, 1)), counter: Number(first(payload, 2)) });
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
		session.entered = { roomId: String(first(payload, 1)) };
	}

	command_send(args) {
		const [session] = this.pick(args);
		if (!Array.isArray(args.frames)) throw new Error('send needs frames');
		for (const f of args.frames) {
			if (f.needAck && f.logId !== undefined && f.internalExt !== undefined) {
				session.expectedAcks.set(String(f.logId), String(f.internalExt));
			}
			session.ws.send(pushFrame(f), { binary: true });
		}
		return { ok: true };
	}

}

module.exports = { TikTokPush };
