#pragma once

#include <string>

// ASCII letter case for Twitch names: logins are ASCII, and display names
// that are not keep their other bytes as they are.
namespace vanteo {

inline std::string lowerAscii(std::string text)
{
	for (char &c : text) {
		if (c >= 'A' && c <= 'Z')
			c = static_cast<char>(c - 'A' + 'a');
	}
	return text;
}

// a before b, letter case ignored; a plain byte order otherwise.
inline bool lessIgnoringCase(const std::string &a, const std::string &b)
{
	const size_t n = a.size() < b.size() ? a.size() : b.size();
	for (size_t i = 0; i < n; ++i) {
		unsigned char x = static_cast<unsigned char>(a[i]);
		unsigned char y = static_cast<unsigned char>(b[i]);
		if (x >= 'A' && x <= 'Z')
			x = static_cast<unsigned char>(x - 'A' + 'a');
		if (y >= 'A' && y <= 'Z')
			y = static_cast<unsigned char>(y - 'A' + 'a');
		if (x != y)
			return x < y;
	}
	return a.size() < b.size();
}

} // namespace vanteo
