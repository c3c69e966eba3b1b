'use strict';
// The protobuf wire format and the TikTok messages, written here on their own
// (not generated from the module's code), so that the fakes and the module
// cannot share a mistake. Shared by the three TikTok fakes; not a service.
//
// A message is described as a list of [field, value] pairs:
//   number or bigint  a varint field (wire type 0)
//   string            UTF-8 bytes (wire type 2)
//   Buffer            bytes (wire type 2)
//   array             a nested message (wire type 2)

const zlib = require('node:zlib');

function varint(value) {
	let n = BigInt(value);
	if (n < 0n) n += 1n << 64n;
	const bytes = [];
	do {
		let byte = Number(n & 0x7fn);
		n >>= 7n;
		if (n > 0n) byte |= 0x80;
		bytes.push(byte);
	} while (n > 0n);
	return Buffer.from(bytes);
}

function key(field, wireType) {
	return varint((BigInt(field) << 3n) | BigInt(wireType));
}

function encode(fields) {
	const parts = [];
	for (const [field, value] of fields) {
		if (value === undefined || value === null) continue;
		if (typeof value === 'number' || typeof value === 'bigint') {
			parts.push(key(field, 0), varint(value));
		} else if (typeof value === 'string' || Buffer.isBuffer(value)) {
			const bytes = Buffer.isBuffer(value) ? value : Buffer.from(value, 'utf8');
			parts.push(key(field, 2), varint(bytes.length), bytes);
		} else if (Array.isArray(value)) {
			const bytes = encode(value);
			parts.push(key(field, 2), varint(bytes.length), bytes);
		}
	}
	return Buffer.concat(parts);
}

// Every field of a message: [{field, wireType, value}] with value a BigInt
// (wire type 0) or a Buffer (2); throws on malformed data and on the fixed
// wire types, which the module never sends.
function decode(buffer) {
	const out = [];
	let at = 0;
	const readVarint = () => {
		let value = 0n;
		for (let shift = 0n; shift < 70n; shift += 7n) {
			if (at >= buffer.length) throw new Error('varint past the end');
			const byte = buffer[at++];
			value |= BigInt(byte & 0x7f) << shift;
			if (!(byte & 0x80)) return value;
		}
		throw new Error('varint too long');
	};
	while (at < buffer.length) {
		const k = readVarint();
		const field = Number(k >> 3n);
		const wireType = Number(k & 7n);
		if (wireType === 0) {
			out.push({ field, wireType, value: readVarint() });
		} else if (wireType === 2) {
			const length = Number(readVarint());
			if (at + length > buffer.length) throw new Error('length past the end');
			out.push({ field, wireType, value: buffer.subarray(at, at + length) });
			at += length;
		} else {
			throw new Error(`wire type ${wireType}`);
		}
	}
	return out;
}

function first(fields, number) {
	const found = fields.find((f) => f.field === number);
	return found ? found.value : undefined;
}

// A user as TikTok sends it: 1 id, 3 nickname, 38 unique id, 1028 id text,
// plus an avatar like the real ones so that bodies have a realistic size.
function user(u = {}) {
	return [
		[1, u.id],
		[3, u.nickname],
		[9, [[1, `https://p16-sign.tiktokcdn.com/avatar/${u.uniqueId || 'u'}.webp`]]],
		[38, u.uniqueId],
		[1028, u.idText],
	];
}

// The body of one room message from a friendly description:
//   {method, msgId, user, text, identity: {subscriber, moderator, host},
//    viewers, action, count, total, repeat, repeatEnd,
//    gift: {name, type, diamonds, image}}
function roomMessageBody(m) {
	const head = [1, [[1, m.method], [2, m.msgId], [4, 1]]];
	const who = m.user === null ? undefined : user(m.user);
	switch (m.method) {
	case 'WebcastChatMessage': {
		const id = m.identity;
		const identity = id ? [[2, id.subscriber ? 1 : 0], [5, id.moderator ? 1 : 0], [6, id.host ? 1 : 0]] : undefined;
		return encode([head, [2, who], [3, m.text], [18, identity]]);
	}
	case 'WebcastMemberMessage':
		return encode([head, [2, who], [3, m.viewers], [10, m.action]]);
	case 'WebcastRoomUserSeqMessage':
		return encode([head, [3, m.viewers]]);
	case 'WebcastLikeMessage':
		return encode([head, [2, m.count], [3, m.total], [5, who]]);
	case 'WebcastGiftMessage': {
		const g = m.gift;
		const details = g ? [[1, g.image ? [[1, g.image], [1, `${g.image}?second`]] : undefined], [11, g.type],
			[12, g.diamonds], [16, g.name]] : undefined;
		return encode([head, [5, m.repeat], [7, who], [9, m.repeatEnd], [15, details]]);
	}
	default:
		return encode([head, [2, who]]);
	}
}

// A push frame from {messages, logId, needAck, internalExt, gzip, encoding,
// payload (base64: replaces the response)}.
function pushFrame(f) {
	let payload;
	if (f.payload !== undefined) {
		payload = Buffer.from(f.payload, 'base64');
	} else {
		const messages = (f.messages || []).map((m) => [1, [[1, m.method], [2, roomMessageBody(m)]]]);
		payload = encode([...messages, [2, 'cursor-1'], [5, f.internalExt], [9, f.needAck ? 1 : undefined]]);
	}
	if (f.gzip) payload = zlib.gzipSync(payload);
	return encode([
		[2, f.logId !== undefined ? BigInt(f.logId) : undefined],
		[6, f.encoding !== undefined ? f.encoding : 'pb'],
		[7, 'msg'],
		[8, payload],
	]);
}

// A frame the module sent: {logId, payloadType, payload (Buffer)}.
function readPushFrame(buffer) {
	const fields = decode(buffer);
	const logId = first(fields, 2);
	const type = first(fields, 7);
	return {
		logId: logId === undefined ? null : logId.toString(),
		payloadType: type ? type.toString('utf8') : null,
		payload: first(fields, 8) || null,
	};
}

module.exports = { encode, decode, first, pushFrame, readPushFrame };
