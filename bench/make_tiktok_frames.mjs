// Writes the TikTok benchmark corpus: push frames shaped like a busy room's
// (users with their avatars, follow counts and ids; a mix of chat, joins,
// likes, viewer counts, gifts, follows, emotes and kinds we ignore; most
// payloads gzipped as the room sends them when asked for compress=gzip).
// The frames are written with the fakes' own protobuf writer, not ours, and
// use the field numbers of tiktok-live-connector's schema so that both sides
// decode the same bytes fully. A fixed seed makes every run write the same file.
//
//   node make_tiktok_frames.mjs OUT [frames, default 400]
// OUT holds each frame as a 4-byte little-endian length and the frame.
import { createRequire } from 'node:module';
import { writeFileSync } from 'node:fs';
import zlib from 'node:zlib';

const require = createRequire(import.meta.url);
const { encode } = require('../tests/fakes/services/tiktok_wire.js');

const out = process.argv[2];
const count = Number(process.argv[3] || 400);
if (!out) {
	console.error('usage: node make_tiktok_frames.mjs OUT [frames]');
	process.exit(2);
}

let seed = 20240611;
function random() {
	seed = (seed * 1103515245 + 12345) % 2147483648;
	return seed / 2147483648;
}
const pick = (list) => list[Math.floor(random() * list.length)];
const int = (lo, hi) => lo + Math.floor(random() * (hi - lo + 1));

const NAMES = ['Lina 🌸', 'marco_rossi', 'Ayşe', 'JJ', 'night.owl', 'Ștefan', 'ゆい', 'Big Tom', 'sam', 'Zoë ✨',
	'the_real_kim', 'Pedro Álvarez', 'mia', 'Оля', 'dj_k'];
const TEXTS = ['hello from Milan!', 'lol', 'what song is this?', '❤️❤️❤️', 'first time here',
	'can you say hi to my sister', 'GG', 'where are you streaming from', 'this is so cool 🔥',
	'how long have you been live?', 'ok', 'haha that was great', 'love the setup'];
const GIFTS = [['Rose', 1, 0], ['TikTok', 1, 1], ['Finger Heart', 5, 1], ['Perfume', 20, 0],
	['Galaxy', 1000, 0], ['Doughnut', 30, 1]];

function image(name, size) {
	const uri = `tos-maliva-avt-0068/${name}`;
	return [
		[1, `https://p16-sign-va.tiktokcdn.com/${uri}~tplv-tiktokx-cropcenter:${size}:${size}.webp?dr=14579&refresh_token=7a1b2c3d&x-expires=1718000000&x-signature=AbCdEfGhIjKlMnOp%3D`],
		[1, `https://p77-sign-va.tiktokcdn.com/${uri}~tplv-tiktokx-cropcenter:${size}:${size}.jpeg?dr=14579&x-expires=1718000000`],
		[2, uri],
		[3, size],
		[4, size],
	];
}

function user(i) {
	const name = pick(NAMES);
	const uniqueId = `${name.replace(/[^a-z0-9_.]/gi, '').toLowerCase() || 'user'}${i}`;
	const id = 6800000000000000000n + BigInt(int(1, 1e9));
	return [
		[1, id],
		[3, name],
		[9, image(`${uniqueId}_100`, 100)],
		[10, image(`${uniqueId}_720`, 720)],
		[11, image(`${uniqueId}_1080`, 1080)],
		[22, [[1, int(0, 900)], [2, int(0, 50000)], [3, 'follow_status'], [4, int(0, 2)]]],
		[23, [[1, int(0, 40)], [6, image('grade_badge', 32)]]],
		[38, uniqueId],
		[46, `MS4wLjABAAAA${'x'.repeat(52)}${i}`],
		[1028, id.toString()],
	];
}

function common(method, roomId, msgId, extra = []) {
	return [[1, method], [2, msgId], [3, roomId], [4, 1718000000000 + int(0, 100000)], [6, 1], ...extra];
}

let nextId = 7380000000000000000n;
function roomMessage(roomId, i) {
	const msgId = nextId++;
	const r = random();
	let method;
	let body;
	if (r < 0.34) {
		method = 'WebcastChatMessage';
		body = [[1, common(method, roomId, msgId)], [2, user(i)], [3, pick(TEXTS)], [14, 'en'],
			[18, [[1, 0], [2, random() < 0.1 ? 1 : 0], [5, random() < 0.05 ? 1 : 0], [6, 0]]]];
	} else if (r < 0.54) {
		method = 'WebcastMemberMessage';
		body = [[1, common(method, roomId, msgId)], [2, user(i)], [3, int(200, 3000)], [10, 1]];
	} else if (r < 0.74) {
		method = 'WebcastLikeMessage';
		body = [[1, common(method, roomId, msgId)], [2, int(1, 15)], [3, int(1000, 90000)], [5, user(i)]];
	} else if (r < 0.82) {
		method = 'WebcastRoomUserSeqMessage';
		body = [[1, common(method, roomId, msgId)], [3, int(200, 3000)], [7, int(5000, 90000)]];
	} else if (r < 0.9) {
		method = 'WebcastGiftMessage';
		const [name, diamonds, combo] = pick(GIFTS);
		const repeat = int(1, 10);
		body = [[1, common(method, roomId, msgId)], [2, 5655], [5, repeat], [7, user(i)],
			[9, combo && random() < 0.7 ? 0 : 1],
			[15, [[1, image(`gift_${name}`, 100)], [11, combo], [12, diamonds], [16, name]]]];
	} else if (r < 0.95) {
		method = 'WebcastSocialMessage';
		const key = random() < 0.7 ? 'pm_mt_msg_viewer_follow' : 'pm_main_share_toast';
		body = [[1, common(method, roomId, msgId, [[8, [[1, key], [2, '{0:user} followed the LIVE creator']]]])],
			[2, user(i)]];
	} else if (r < 0.97) {
		method = 'WebcastEmoteChatMessage';
		body = [[1, common(method, roomId, msgId)], [2, user(i)],
			[3, [[1, 'emote_1'], [2, image('emote_1', 64)]]], [3, [[1, 'emote_2'], [2, image('emote_2', 64)]]]];
	} else {
		method = pick(['WebcastRankUpdateMessage', 'WebcastInRoomBannerMessage', 'WebcastLinkMicArmies']);
		body = [[1, common(method, roomId, msgId)], [2, 'x'.repeat(int(50, 400))]];
	}
	return [[1, method], [2, encode(body)], [3, BigInt(msgId)], [4, 1]];
}

const roomId = 7380000000000000001n;
const frames = [];
for (let f = 0; f < count; f++) {
	const messages = [];
	const n = int(1, 8);
	for (let i = 0; i < n; i++) messages.push([1, roomMessage(roomId, f * 10 + i)]);
	let payload = encode([...messages, [2, `1718000000000_${f}_1_1_0_0`], [3, 1000],
		[5, `internal_src:dim|wss_push_room_id:${roomId}|fetch_time:1718000000000|seq:${f}`], [9, 1]]);
	const gzip = random() < 0.6;
	if (gzip) payload = zlib.gzipSync(payload);
	const frame = encode([[1, BigInt(f + 1)], [2, BigInt(7380000000000000000n + BigInt(f))], [5, 1],
		[6, 'pb'], [7, 'msg'], [8, payload]]);
	const length = Buffer.alloc(4);
	length.writeUInt32LE(frame.length);
	frames.push(length, frame);
}
writeFileSync(out, Buffer.concat(frames));
