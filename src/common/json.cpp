#include "common/json.h"

#include <obs-data.h>

#include <cstdio>
#include <cstdlib>

namespace vanteo {

void appendJsonEscaped(std::string &out, const char *p, size_t n)
{
	static const char kHex[] = "0123456789abcdef";
	size_t run = 0;
	for (size_t i = 0; i < n; ++i) {
		unsigned char c = static_cast<unsigned char>(p[i]);
		if (c >= 32 && c != '"' && c != '\\')
			continue;
		out.append(p + run, i - run);
		run = i + 1;
		switch (c) {
		case '\t':
			out += "\\t";
			break;
		case '\n':
			out += "\\n";
			break;
		case '\r':
			out += "\\r";
			break;
		case '"':
			out += "\\\"";
			break;
		case '\\':
			out += "\\\\";
			break;
		default: {
			char buf[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
			out.append(buf, 6);
		}
		}
	}
	out.append(p + run, n - run);
}

std::string jsonEscape(const std::string &text)
{
	std::string out;
	out.reserve(text.size() + 8);
	appendJsonEscaped(out, text.data(), text.size());
	return out;
}

std::string jsonQuote(const std::string &text)
{
	std::string out;
	out.reserve(text.size() + 8);
	out += '"';
	appendJsonEscaped(out, text.data(), text.size());
	out += '"';
	return out;
}

std::string errorReply(const std::string &text)
{
	return "{\"error\":" + jsonQuote(text) + "}";
}

std::string jsonField(const std::string &body, const char *key)
{
	obs_data_t *data = obs_data_create_from_json(body.c_str());
	if (!data)
		return std::string();
	const char *value = obs_data_get_string(data, key);
	std::string result = value ? value : "";
	obs_data_release(data);
	return result;
}

long long jsonNumber(const std::string &text)
{
	return std::strtoll(text.c_str(), nullptr, 10);
}

bool jsonFlagOn(const std::string &body)
{
	return body.find("\"on\":true") != std::string::npos;
}

} // namespace vanteo
