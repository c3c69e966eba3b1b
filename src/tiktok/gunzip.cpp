#include "tiktok/gunzip.h"

#include <libdeflate.h>
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

// One libdeflate decompressor per thread (it is not to be shared).
struct WholeInflater {
	libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
	WholeInflater() = default;
	~WholeInflater() { libdeflate_free_decompressor(decompressor); }
	WholeInflater(const WholeInflater &) = delete;
	WholeInflater &operator=(const WholeInflater &) = delete;
};

enum class Whole { Done, Refused, NotTried };

// A gzip member inflated in one call into a buffer of the size its trailer
// gives (the last four bytes: the size modulo 2^32), which libdeflate checks
// along with the CRC. When those bytes are no trailer (bytes follow the
// member), claim more than the cap or more than deflate can expand the input
// to (1032:1), the stream is left to zlib, which grows its output only as
// data arrives: a few bytes never buy a 32 MiB zero-filled buffer.
Whole gunzipWhole(std::string_view compressed, std::string &buffer, size_t &size)
{
	if (compressed.size() < 18 || static_cast<uint8_t>(compressed[0]) != 0x1f ||
	    static_cast<uint8_t>(compressed[1]) != 0x8b)
		return Whole::NotTried;
	const auto *tail = reinterpret_cast<const uint8_t *>(compressed.data() + compressed.size() - 4);
	const size_t claimed = tail[0] | (tail[1] << 8) | (tail[2] << 16) | (size_t(tail[3]) << 24);
	if (claimed > kGunzipCap || claimed / 1032 > compressed.size())
		return Whole::NotTried;
	thread_local WholeInflater inflater;
	if (!inflater.decompressor)
		return Whole::NotTried;
	if (buffer.size() < claimed)
		buffer.resize(claimed);
	size_t used = 0;
	const libdeflate_result result = libdeflate_gzip_decompress_ex(
	    inflater.decompressor, compressed.data(), compressed.size(), &buffer[0], claimed, &used, &size);
	if (result == LIBDEFLATE_SUCCESS)
		return Whole::Done;
	// Corrupt or truncated (the end of the input came before the member's),
	// or a checksum that does not match.
	if (result == LIBDEFLATE_BAD_DATA)
		return Whole::Refused;
	return Whole::NotTried;
}

} // namespace

size_t gunzipInto(std::string_view compressed, std::string &buffer)
{
	if (compressed.size() < 3 || compressed.size() > UINT_MAX)
		return 0;
	size_t whole = 0;
	switch (gunzipWhole(compressed, buffer, whole)) {
	case Whole::Done:
		return whole;
	case Whole::Refused:
		return 0;
	case Whole::NotTried:
		break;
	}
	// Step by step: zlib streams, and gzip whose size is not known up front.
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
