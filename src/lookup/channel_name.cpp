#include "lookup/channel_name.h"

#include <cctype>

namespace vanteo {

namespace {

// Profile-address prefixes, tried in this order (letter case ignored).
const char *const kPrefixes[] = {
    "https://www.twitch.tv/",   "https://twitch.tv/",   "http://www.twitch.tv/",
    "https://www.tiktok.com/@", "https://tiktok.com/@", "https://www.youtube.com/",
    "https://youtube.com/",     "https://kick.com/",    "https://www.kick.com/",
};

bool startsWithIgnoreCase(const std::string &text, const std::string &prefix)
{
	if (text.size() < prefix.size())
		return false;
	for (size_t i = 0; i < prefix.size(); ++i)
		if (std::tolower(static_cast<unsigned char>(text[i])) !=
		    std::tolower(static_cast<unsigned char>(prefix[i])))
			return false;
	return true;
}

bool isBlank(char c)
{
	return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

std::string normaliseChannelName(const std::string &input, bool twitch, std::string &error)
{
	std::string name = input;
	for (const char *prefix : kPrefixes) {
		std::string p = prefix;
		if (name.size() > p.size() && startsWithIgnoreCase(name, p)) {
			name.erase(0, p.size());
			break;
		}
	}
	size_t begin = 0;
	while (begin < name.size() && (name[begin] == '@' || isBlank(name[begin])))
		++begin;
	size_t end = name.size();
	while (end > begin && (name[end - 1] == '/' || isBlank(name[end - 1])))
		--end;
	name = name.substr(begin, end - begin);
	if (name.empty())
		return std::string();

	const size_t minLen = twitch ? 3 : 2;
	const size_t maxLen = twitch ? 25 : 24;
	bool ok = name.size() >= minLen && name.size() <= maxLen;
	for (char &c : name) {
		unsigned char u = static_cast<unsigned char>(c);
		bool allowed = (u < 128 && std::isalnum(u)) || c == '_' || (!twitch && (c == '-' || c == '.'));
		if (!allowed)
			ok = false;
		c = static_cast<char>(std::tolower(u));
	}
	if (!ok) {
		error = "Invalid name";
		return std::string();
	}
	return name;
}

} // namespace vanteo
