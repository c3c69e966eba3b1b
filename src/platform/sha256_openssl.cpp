#include "platform/sha256.h"

#include <openssl/evp.h>

namespace vanteo::platform {

std::string sha256Hex(const std::string &bytes)
{
	unsigned char digest[EVP_MAX_MD_SIZE];
	unsigned int length = 0;
	if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1 || length != 32)
		return std::string();
	static const char hex[] = "0123456789abcdef";
	std::string out;
	out.reserve(64);
	for (unsigned int i = 0; i < length; ++i) {
		out += hex[digest[i] >> 4];
		out += hex[digest[i] & 0x0f];
	}
	return out;
}

} // namespace vanteo::platform
