#include "common/url_encode.h"

namespace vanteo {

std::string urlEncode(const std::string &text)
{
	static const char kHex[] = "0123456789ABCDEF";
	std::string out;
	out.reserve(text.size() * 3);
	for (unsigned char c : text) {
		if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
		    c == '.' || c == '_' || c == '~') {
			out += static_cast<char>(c);
		} else {
			out += '%';
			out += kHex[c >> 4];
			out += kHex[c & 15];
		}
	}
	return out;
}

} // namespace vanteo
