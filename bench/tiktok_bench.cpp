// TikTok push frames as the live session handles them: decodeFrame (inflate
// when gzipped, read the envelope, map every room message to a record), over
// the corpus that make_tiktok_frames.mjs writes. Rates are per frame
// (items_per_second) so that run_tiktok_bench.sh can set them beside
// tiktok-live-connector decoding the same frames.
#include "feed/chat_message.h"
#include "tiktok/gunzip.h"
#include "tiktok/protobuf_wire.h"
#include "tiktok/push_frame.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace vanteo;

// VANTEO_TIKTOK_CORPUS in the environment names the corpus file: 4-byte
// little-endian lengths, each followed by one frame.
const std::vector<std::string> &corpus()
{
	static const std::vector<std::string> frames = [] {
		const char *path = std::getenv("VANTEO_TIKTOK_CORPUS");
		std::ifstream in(path && *path ? path : VANTEO_TIKTOK_CORPUS, std::ios::binary);
		std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
		std::vector<std::string> out;
		size_t at = 0;
		while (at + 4 <= all.size()) {
			const unsigned char *p = reinterpret_cast<const unsigned char *>(all.data() + at);
			size_t length = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<size_t>(p[3]) << 24);
			if (at + 4 + length > all.size())
				break;
			out.push_back(all.substr(at + 4, length));
			at += 4 + length;
		}
		if (out.empty()) {
			std::fprintf(stderr, "bench_tiktok: empty or missing corpus (run make_tiktok_frames.mjs)\n");
			std::exit(1);
		}
		return out;
	}();
	return frames;
}

void run(benchmark::State &state, bool json)
{
	const std::vector<std::string> &frames = corpus();
	size_t records = 0;
	for (auto _ : state) {
		for (const std::string &frame : frames) {
			DecodedFrame decoded = decodeFrame(frame);
			records += decoded.messages.size();
			if (json) {
				for (const ChatMessage &m : decoded.messages) {
					std::string text = messageToJson(m);
					benchmark::DoNotOptimize(text.data());
				}
			}
			benchmark::DoNotOptimize(decoded.viewerCount);
		}
	}
	const double count = static_cast<double>(state.iterations()) * frames.size();
	state.SetItemsProcessed(static_cast<int64_t>(count));
	state.counters["records_per_frame"] = static_cast<double>(records) / count;
}

void BM_TikTokDecodeFrame(benchmark::State &state)
{
	run(state, false);
}

// What the hub adds for each record before broadcasting it.
void BM_TikTokDecodeFrameToJson(benchmark::State &state)
{
	run(state, true);
}

// The share of zlib: inflating the gzipped payloads and nothing else.
void BM_TikTokInflateOnly(benchmark::State &state)
{
	const std::vector<std::string> &frames = corpus();
	std::string scratch;
	for (auto _ : state) {
		for (const std::string &frame : frames) {
			std::string_view payload;
			if (findBytesField(frame, 8, payload) && payload.size() > 2 &&
			    static_cast<uint8_t>(payload[0]) == 0x1f)
				benchmark::DoNotOptimize(gunzipInto(payload, scratch));
		}
	}
	state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * frames.size()));
}

} // namespace

BENCHMARK(BM_TikTokInflateOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TikTokDecodeFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TikTokDecodeFrameToJson)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
