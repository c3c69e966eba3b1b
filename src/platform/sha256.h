#pragma once

#include <string>

// SHA-256 through the platform's hash service (libcrypto on Linux, BCrypt on
// Windows). Any thread.
namespace vanteo::platform {

// 64 lower-case hexadecimal digits of the digest of `bytes`, computed in one
// pass; "" when the hash service fails.
std::string sha256Hex(const std::string &bytes);

} // namespace vanteo::platform
