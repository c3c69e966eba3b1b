#pragma once

#include <string>

namespace vanteo {

// Percent-encoding for query values: ASCII letters, digits and "-._~" are
// copied, every other byte becomes "%" and two upper-case hex digits.
std::string urlEncode(const std::string &text);

} // namespace vanteo
