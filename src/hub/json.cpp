#include "hub/json.h"

#include <obs-data.h>

#include <cstdio>
#include <cstdlib>

namespace vanteo {

std::string jsonEscape(const std::string &text)
{
	std::string out;
	out.reserve(text.size() + 8);
	for (unsigned char c : text) {
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
		default:
			if (c < 32) {
				char buf[8];
				snprintf(buf, sizeof(buf), "\\u%04x", c);
				out += buf;
			} else {
				out += static_cast<char>(c);
			}
		}
	}
	return out;
}

std::string jsonQuote(const std::string &text)
{
	std::string out;
	out.reserve(text.size() + 2);
	out += '"';
	out += jsonEscape(text);
	out += '"';
	return out;
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
