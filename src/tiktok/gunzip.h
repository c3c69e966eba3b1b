#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vanteo {

// Output cap of one inflation: a frame of a few kilobytes that claims more
// is a compression bomb, not a room's messages.
constexpr size_t kGunzipCap = 0x2000000; // 32 MiB

// Inflates a gzip (or zlib) stream. Empty on any failure: input shorter than
// 3 bytes, a corrupt or truncated stream (the stream must reach its end, so
// its checksum has been verified), or output beyond kGunzipCap. Bytes after
// the end of the stream are ignored. Pure; any thread.
std::string gunzip(std::string_view compressed);

// The same into a buffer the caller keeps between calls: returns the number
// of inflated bytes at its start (0 on failure); the buffer's size may be
// larger. Saves an allocation and its zero-filling per frame.
size_t gunzipInto(std::string_view compressed, std::string &buffer);
// Frees a buffer that one large input left big.
void releaseLargeScratch(std::string &buffer);

} // namespace vanteo
