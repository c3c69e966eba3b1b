#pragma once

#include <cstddef>
#include <string>

namespace vanteo::platform {

// Fills the buffer from the operating system's cryptographic random source.
// Returns false only when the source is unavailable.
bool secureRandomBytes(unsigned char *buffer, size_t size);

// `bytes` random bytes as 2 * bytes lower-case hexadecimal digits; "" when
// the source is unavailable.
inline std::string secureRandomHex(size_t bytes)
{
	static const char kDigits[] = "0123456789abcdef";
	std::string out;
	unsigned char byte = 0;
	for (size_t i = 0; i < bytes; ++i) {
		if (!secureRandomBytes(&byte, 1))
			return std::string();
		out += kDigits[byte >> 4];
		out += kDigits[byte & 15];
	}
	return out;
}

} // namespace vanteo::platform
