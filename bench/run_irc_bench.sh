#!/bin/sh
# Twitch chat lines per second: ours (line -> IrcMessage -> ChatMessage ->
# JSON, Google Benchmark bench_irc) beside the IRC parser of tmi.js 1.8.5 on
# the same corpus, and the ratio. A benchmark, not a test: it never fails on
# the figures, only when something cannot be built or run.
#
#   bench/run_irc_bench.sh [build folder, default build-bench]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-"$root/build-bench"}
corpus="$here/corpus/irc_lines.txt"

generator=
if command -v ninja >/dev/null 2>&1; then
	generator="-G Ninja"
fi
# shellcheck disable=SC2086
cmake -S "$root" -B "$build" $generator -DCMAKE_BUILD_TYPE=Release -DVANTEO_BUILD_BENCH=ON \
	-DVANTEO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_irc >/dev/null

if [ ! -d "$here/node_modules/tmi.js" ]; then
	(cd "$here" && npm ci --no-audit --no-fund >/dev/null)
fi

ours=$(VANTEO_IRC_CORPUS="$corpus" "$build/bench/bench_irc" --benchmark_format=json \
	--benchmark_repetitions=5 --benchmark_min_time=1 2>/dev/null)
peer=$(node "$here/tmi_peer.mjs" "$corpus" 3)

OURS="$ours" PEER="$peer" node --input-type=module -e '
const ours = JSON.parse(process.env.OURS);
const peer = JSON.parse(process.env.PEER);
// Best repetition of each stage, in ns per line.
const best = {};
for (const b of ours.benchmarks) {
	if (b.run_type !== "iteration") continue;
	const ns = 1e9 / b.items_per_second;
	if (!(b.run_name in best) || ns < best[b.run_name]) best[b.run_name] = ns;
}
const fmt = n => Math.round(n).toLocaleString("en-US");
const oursRate = 1e9 / best.BM_IrcLineToJson;
console.log(`corpus: ${peer.lines} lines`);
console.log(`ours, line to JSON:      ${best.BM_IrcLineToJson.toFixed(0)} ns/line  ${fmt(oursRate)} lines/s`);
console.log(`ours, line to record:    ${best.BM_IrcLineToRecord.toFixed(0)} ns/line`);
console.log(`ours, parse only:        ${best.BM_IrcParseOnly.toFixed(0)} ns/line`);
console.log(`tmi.js parser.msg:       ${(1e9 / peer.msgLinesPerSecond).toFixed(0)} ns/line  ${fmt(peer.msgLinesPerSecond)} lines/s`);
console.log(`tmi.js msg + tag steps:  ${(1e9 / peer.clientLinesPerSecond).toFixed(0)} ns/line  ${fmt(peer.clientLinesPerSecond)} lines/s`);
const ratio = oursRate / peer.msgLinesPerSecond;
console.log(`ratio (ours to JSON / tmi.js parser.msg): ${ratio.toFixed(1)}x  (target 20x: ${ratio >= 20 ? "met" : "not met"})`);
console.log(`ratio (ours to JSON / tmi.js msg + tag steps): ${(oursRate / peer.clientLinesPerSecond).toFixed(1)}x`);
'
