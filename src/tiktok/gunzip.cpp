#include "tiktok/gunzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace vanteo {

namespace {

constexpr size_t kStep = 32768;
// A scratch buffer grown past this by one large frame is released again.
constexpr size_t kKeepScratch = 1 << 20;

// One inflate stream per thread, reset for every input: setting a stream up
// costs about as much as inflating a small frame.
struct Inflater {
	z_stream stream{};
	bool open = false;
	// 15 window bits (32 KiB) + 32: detect a gzip or zlib header.
	Inflater() { open = inflateInit2(&stream, 15 + 32) == Z_OK; }
	~Inflater()
	{
		if (open)
			inflateEnd(&stream);
	}
	Inflater(const Inflater &) = delete;
	Inflater &operator=(const Inflater &) = delete;
};

} // namespace

size_t gunzipInto(std::string_view compressed, std::string &buffer)
{
	if (compressed.size() < 3 || compressed.size() > UINT_MAX)
		return 0;
	thread_local Inflater inflater;
	if (!inflater.open || inflateReset(&inflater.stream) != Z_OK)
		return 0;
	z_stream &z = inflater.stream;
	z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.data()));
	z.avail_in = static_cast<uInt>(compressed.size());

	// Frames compress about fourfold; grow by at least 32 KiB a step, never
	// far past the cap.
	if (buffer.size() < kStep)
		buffer.resize(std::min(std::max<size_t>(compressed.size() * 4, 4096), kStep));
	size_t used = 0;
	for (;;) {
		if (used == buffer.size())
			buffer.resize(std::min(used + std::max(kStep, used / 2), kGunzipCap + kStep));
		z.next_out = reinterpret_cast<Bytef *>(&buffer[used]);
		z.avail_out = static_cast<uInt>(std::min<size_t>(buffer.size() - used, UINT_MAX));
		const uInt before = z.avail_out;
		const uInt inBefore = z.avail_in;
		const int result = inflate(&z, Z_NO_FLUSH);
		if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
			return 0;
		used += before - z.avail_out;
		if (used > kGunzipCap)
			return 0;
		if (result == Z_STREAM_END)
			return used;
		// Input used up before the end of the stream: truncated data, whose
		// checksum was never seen. Also guards against a call that makes
		// no progress at all.
		if (z.avail_in == 0 || (z.avail_in == inBefore && z.avail_out == before))
			return 0;
	}
}

std::string gunzip(std::string_view compressed)
{
	std::string out;
	out.resize(gunzipInto(compressed, out));
	return out;
}

void releaseLargeScratch(std::string &buffer)
{
	if (buffer.size() > kKeepScratch)
		std::string().swap(buffer);
}

} // namespace vanteo
