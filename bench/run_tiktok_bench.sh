#!/bin/sh
# TikTok push frames per second: ours (decodeFrame with inflation and mapping,
# Google Benchmark bench_tiktok) beside tiktok-live-connector 2.5.0 decoding
# the same frames with its own schema, and the ratio. A benchmark, not a test:
# it never fails on the figures, only when something cannot be built or run.
#
#   bench/run_tiktok_bench.sh [build folder, default build-bench]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-"$root/build-bench"}

generator=
if command -v ninja >/dev/null 2>&1; then
	generator="-G Ninja"
fi
# shellcheck disable=SC2086
cmake -S "$root" -B "$build" $generator -DCMAKE_BUILD_TYPE=Release -DVANTEO_BUILD_BENCH=ON \
	-DVANTEO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_tiktok >/dev/null

if [ ! -d "$here/node_modules/tiktok-live-connector" ]; then
	(cd "$here" && npm ci --no-audit --no-fund >/dev/null)
fi

corpus="$build/bench/tiktok_frames.bin"
node "$here/make_tiktok_frames.mjs" "$corpus"

ours=$(VANTEO_TIKTOK_CORPUS="$corpus" "$build/bench/bench_tiktok" --benchmark_format=json \
	--benchmark_repetitions=5 --benchmark_min_time=1 2>/dev/null)
peer=$(node "$here/tiktok_peer.mjs" "$corpus" 3)

OURS="$ours" PEER="$peer" node --input-type=module -e '
const ours = JSON.parse(process.env.OURS);
const peer = JSON.parse(process.env.PEER);
// Best repetition of each stage, in frames per second.
const best = {};
let records = 0;
for (const b of ours.benchmarks) {
	if (b.run_type !== "iteration") continue;
	best[b.run_name] = Math.max(best[b.run_name] || 0, b.items_per_second);
	records = b.records_per_frame;
}
const fmt = n => Math.round(n).toLocaleString("en-US");
const us = n => (1e6 / n).toFixed(2);
const oursRate = best.BM_TikTokDecodeFrame;
console.log(`corpus: ${peer.frames} frames (${records.toFixed(2)} records per frame for us, ${(peer.records / peer.frames).toFixed(2)} decoded messages per frame for the connector)`);
console.log(`ours, decodeFrame:              ${us(oursRate)} us/frame  ${fmt(oursRate)} frames/s`);
console.log(`ours, decodeFrame + JSON:       ${us(best.BM_TikTokDecodeFrameToJson)} us/frame  ${fmt(best.BM_TikTokDecodeFrameToJson)} frames/s`);
console.log(`  of which inflation:          ${us(best.BM_TikTokInflateOnly)} us/frame`);
console.log(`tiktok-live-connector (sync):   ${us(peer.syncFramesPerSecond)} us/frame  ${fmt(peer.syncFramesPerSecond)} frames/s`);
console.log(`tiktok-live-connector (as run): ${us(peer.connectorFramesPerSecond)} us/frame  ${fmt(peer.connectorFramesPerSecond)} frames/s`);
const ratio = oursRate / peer.syncFramesPerSecond;
console.log(`ratio (ours / connector sync): ${ratio.toFixed(1)}x  (target 8x: ${ratio >= 8 ? "met" : "not met"})`);
console.log(`ratio (ours / connector as run): ${(oursRate / peer.connectorFramesPerSecond).toFixed(1)}x`);
'
