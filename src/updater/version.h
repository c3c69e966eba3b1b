#pragma once

#include <array>
#include <string>

// Release versions compared as exactly three integers.
namespace vanteo {

// Splits at every "." and reads each piece like strtol (leading blanks and a
// sign allowed, stops at the first other character, 0 without digits); cut
// or padded with zeros to three numbers. "0.3.11" -> (0,3,11), "0.4" ->
// (0,4,0), "1.2.3.4" -> (1,2,3), "x.1" -> (0,1,0).
std::array<long long, 3> versionTriple(const std::string &version);

// True when `installed` is the same as or newer than `latest`.
bool isUpToDate(const std::string &installed, const std::string &latest);

} // namespace vanteo
