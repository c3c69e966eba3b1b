#pragma once

#include <cstddef>
#include <string>

namespace vanteo::platform {

// Fills the buffer from the operating system's cryptographic random source.
// Returns false only when the source is unavailable.
bool secureRandomBytes(unsigned char *buffer, size_t size);

} // namespace vanteo::platform
