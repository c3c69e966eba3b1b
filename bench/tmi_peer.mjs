// The tmi.js side of the IRC benchmark: the same corpus through the IRC
// parser of tmi.js 1.8.5 (lib/parser.js), timed the way bench_irc times
// ours: several rounds over the whole corpus, the best round reported.
//
// Two figures: "msg" is parser.msg(line) alone, the raw IRC split; "client"
// adds what tmi.js's client does next to every line before a handler sees it
// (badges, badge-info and emotes split, tag values unescaped; copied from
// handleMessage in lib/client.js). The comparison uses "msg", the faster one.
//
//   node tmi_peer.mjs [corpus file] [seconds per figure]
// prints one JSON object: {"lines":N,"msgLinesPerSecond":..,"clientLinesPerSecond":..}
import { createRequire } from 'node:module';
import { readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';
import path from 'node:path';

const require = createRequire(import.meta.url);
const parser = require('tmi.js/lib/parser');
const utils = require('tmi.js/lib/utils');

const here = path.dirname(fileURLToPath(import.meta.url));
const corpusPath = process.argv[2] || path.join(here, 'corpus', 'irc_lines.txt');
const seconds = Number(process.argv[3] || 3);

const lines = readFileSync(corpusPath, 'utf8').split('\n').map(l => l.replace(/\r$/, '')).filter(l => l.length > 0);
if (lines.length === 0) {
	console.error('tmi_peer: empty corpus');
	process.exit(1);
}

function clientTags(message) {
	const tags = message.tags = parser.badges(parser.badgeInfo(parser.emotes(message.tags)));
	for (const key in tags) {
		if (key === 'emote-sets' || key === 'ban-duration' || key === 'bits') {
			continue;
		}
		let value = tags[key];
		if (typeof value === 'boolean') { value = null; }
		else if (value === '1') { value = true; }
		else if (value === '0') { value = false; }
		else if (typeof value === 'string') { value = utils.unescapeIRC(value); }
		tags[key] = value;
	}
	return message;
}

let sink = 0;
function msgOnly() {
	for (let i = 0; i < lines.length; i++) {
		const m = parser.msg(lines[i]);
		if (m) sink += m.params.length;
	}
}
function withClientTags() {
	for (let i = 0; i < lines.length; i++) {
		const m = parser.msg(lines[i]);
		if (m) sink += clientTags(m).params.length;
	}
}

// Best lines per second over rounds of the whole corpus, after a warm-up
// that lets the JIT settle.
function measure(round) {
	const warmUntil = performance.now() + 1000;
	while (performance.now() < warmUntil) round();
	let best = Infinity;
	const until = performance.now() + seconds * 1000;
	while (performance.now() < until) {
		const t0 = performance.now();
		round();
		const ms = performance.now() - t0;
		if (ms < best) best = ms;
	}
	return lines.length / (best / 1000);
}

const msgRate = measure(msgOnly);
const clientRate = measure(withClientTags);
console.log(JSON.stringify({
	lines: lines.length,
	msgLinesPerSecond: Math.round(msgRate),
	clientLinesPerSecond: Math.round(clientRate),
	sink: sink > 0,
}));
