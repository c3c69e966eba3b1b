#include "platform/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#pragma comment(lib, "bcrypt.lib")

namespace vanteo::platform {

std::string sha256Hex(const std::string &bytes)
{
	BCRYPT_ALG_HANDLE algorithm = nullptr;
	if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
		return std::string();
	unsigned char digest[32];
	// One call hashes the whole input; inputs larger than 4 GiB are far past
	// the download cap and fail here rather than being cut.
	bool ok = bytes.size() <= 0xffffffffu &&
		  BCryptHash(algorithm, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char *>(bytes.data())),
			     static_cast<ULONG>(bytes.size()), digest, sizeof digest) == 0;
	BCryptCloseAlgorithmProvider(algorithm, 0);
	if (!ok)
		return std::string();
	static const char hex[] = "0123456789abcdef";
	std::string out;
	out.reserve(64);
	for (unsigned char b : digest) {
		out += hex[b >> 4];
		out += hex[b & 0x0f];
	}
	return out;
}

} // namespace vanteo::platform
