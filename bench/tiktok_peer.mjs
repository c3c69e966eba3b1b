// The tiktok-live-connector side of the TikTok benchmark: the same corpus of
// push frames decoded with the connector's own schema, timed the way
// bench_tiktok times ours: rounds over the whole corpus, the best reported.
//
// Two figures: "connector" awaits deserializeWebSocketMessage for each frame,
// exactly what the connector does per WebSocket message (its gzip inflation
// is zlib's asynchronous unzip); "sync" does the same decoding with the
// synchronous unzipSync instead, the fastest the connector's decoder can go.
// The comparison uses "sync".
//
//   node tiktok_peer.mjs CORPUS [seconds per figure]
// prints one JSON object: {"frames":N,"records":R,"connectorFramesPerSecond":..,"syncFramesPerSecond":..}
import { deserializeWebSocketMessage, deserializeMessage, WebcastPushFrame } from 'tiktok-live-connector';
import { readFileSync } from 'node:fs';
import zlib from 'node:zlib';

const corpusPath = process.argv[2];
const seconds = Number(process.argv[3] || 3);
const all = readFileSync(corpusPath);
const frames = [];
for (let at = 0; at + 4 <= all.length;) {
	const length = all.readUInt32LE(at);
	frames.push(all.subarray(at + 4, at + 4 + length));
	at += 4 + length;
}
if (!frames.length) {
	console.error('tiktok_peer: empty corpus');
	process.exit(1);
}

let records = 0;
function count(result) {
	for (const m of (result && result.messages) || []) if (m.decodedData) records++;
}

async function connectorRound() {
	for (const frame of frames) count((await deserializeWebSocketMessage(frame)).protoMessageFetchResult);
}

function syncRound() {
	for (const frame of frames) {
		const push = WebcastPushFrame.decode(frame);
		if (push.payloadEncoding !== 'pb' || !push.payload) continue;
		let payload = push.payload;
		if (payload.length > 2 && payload[0] === 31 && payload[1] === 139 && payload[2] === 8) payload = zlib.unzipSync(payload);
		count(deserializeMessage('ProtoMessageFetchResult', Buffer.from(payload)));
	}
}

async function best(round) {
	for (let i = 0; i < 3; i++) await round(); // warm up the JIT
	let bestNs = Infinity;
	const end = process.hrtime.bigint() + BigInt(Math.round(seconds * 1e9));
	while (process.hrtime.bigint() < end) {
		const start = process.hrtime.bigint();
		await round();
		bestNs = Math.min(bestNs, Number(process.hrtime.bigint() - start));
	}
	return frames.length / (bestNs / 1e9);
}

records = 0;
syncRound();
const perRound = records;
const connector = await best(connectorRound);
const sync = await best(syncRound);
console.log(JSON.stringify({ frames: frames.length, records: perRound, connectorFramesPerSecond: connector,
	syncFramesPerSecond: sync }));
