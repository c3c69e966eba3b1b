#pragma once

#include <string>

namespace vanteo {

// Cleans a typed channel name or pasted profile address: strips a known
// profile-address prefix, "@", blanks and trailing "/", checks length and
// characters, and lower-cases. Empty input gives "" without error; a bad
// name gives "" with `error` = "Invalid name".
std::string normaliseChannelName(const std::string &input, bool twitch, std::string &error);

} // namespace vanteo
