#include "common/endpoints.h"

#include "common/log.h"

#include <util/base.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace vanteo {

namespace {

struct TableEntry {
	const char *name;
	const char *host;
};

// The public hosts. Each is reached on port 443.
constexpr TableEntry kTable[] = {
    {"twitch-chat", "irc-ws.chat.twitch.tv"},
    {"twitch-eventsub", "eventsub.wss.twitch.tv"},
    {"twitch-helix", "api.twitch.tv"},
    {"twitch-id", "id.twitch.tv"},
    {"twitch-web", "www.twitch.tv"},
    {"twitch-emote-cdn", "static-cdn.jtvnw.net"},
    {"7tv-api", "7tv.io"},
    {"7tv-cdn", "cdn.7tv.app"},
    {"bttv-api", "api.betterttv.net"},
    {"bttv-cdn", "cdn.betterttv.net"},
    {"ffz-api", "api.frankerfacez.com"},
    {"ffz-cdn", "cdn.frankerfacez.com"},
    {"tiktok-web", "www.tiktok.com"},
    {"tiktok-signer", "tiktok.eulerstream.com"},
    {"streamelements", "api.streamelements.com"},
    {"youtube", "www.youtube.com"},
    {"kick", "kick.com"},
    {"kick-pusher", "ws-us2.pusher.com"},
    {"kick-files", "files.kick.com"},
    {"github-api", "api.github.com"},
    {"github-raw", "raw.githubusercontent.com"},
    {"github-web", "github.com"},
};

const TableEntry *findEntry(const std::string &name)
{
	for (const TableEntry &entry : kTable) {
		if (name == entry.name)
			return &entry;
	}
	return nullptr;
}

std::string trim(const std::string &text)
{
	size_t begin = text.find_first_not_of(" \t\r\n");
	if (begin == std::string::npos)
		return std::string();
	size_t end = text.find_last_not_of(" \t\r\n");
	return text.substr(begin, end - begin + 1);
}

bool parsePort(const std::string &text, uint16_t *port)
{
	if (text.empty() || text.size() > 5)
		return false;
	unsigned long value = 0;
	for (char c : text) {
		if (c < '0' || c > '9')
			return false;
		value = value * 10 + static_cast<unsigned long>(c - '0');
	}
	if (value == 0 || value > 65535)
		return false;
	*port = static_cast<uint16_t>(value);
	return true;
}

// "host", "host:port", "[v6]" or "[v6]:port". hasPort tells whether a port
// was written.
bool splitAuthority(const std::string &text, Endpoint *out, bool *hasPort)
{
	*hasPort = false;
	out->port = 443;
	if (text.empty())
		return false;
	if (text[0] == '[') {
		size_t close = text.find(']');
		if (close == std::string::npos || close == 1)
			return false;
		out->host = text.substr(1, close - 1);
		std::string rest = text.substr(close + 1);
		if (rest.empty())
			return true;
		if (rest[0] != ':' || !parsePort(rest.substr(1), &out->port))
			return false;
		*hasPort = true;
		return true;
	}
	size_t colon = text.find(':');
	if (colon == std::string::npos) {
		out->host = text;
		return true;
	}
	if (text.find(':', colon + 1) != std::string::npos) {
		// A bare IPv6 literal without brackets carries no port.
		out->host = text;
		return true;
	}
	out->host = text.substr(0, colon);
	if (out->host.empty() || !parsePort(text.substr(colon + 1), &out->port))
		return false;
	*hasPort = true;
	return true;
}

struct Overrides {
	std::map<std::string, Endpoint> byName;
	std::string caFile;
};

// Guards the overrides and whether the environment was read.
std::mutex g_mutex;
Overrides g_overrides;
bool g_loaded = false;

Overrides parseOverrides(const std::string &text, const std::string &caFile)
{
	Overrides result;
	result.caFile = trim(caFile);
	size_t start = 0;
	while (start <= text.size()) {
		size_t comma = text.find(',', start);
		if (comma == std::string::npos)
			comma = text.size();
		std::string item = trim(text.substr(start, comma - start));
		start = comma + 1;
		if (item.empty())
			continue;
		size_t equals = item.find('=');
		Endpoint target;
		bool hasPort = false;
		std::string name = equals == std::string::npos ? std::string() : trim(item.substr(0, equals));
		if (name.empty() || !splitAuthority(trim(item.substr(equals + 1)), &target, &hasPort)) {
			logLine(LOG_WARNING, "endpoints: ignored override '%s'", item.c_str());
			continue;
		}
		result.byName[name] = target;
	}
	return result;
}

void logOverrides(const Overrides &overrides)
{
	for (const auto &item : overrides.byName)
		logLine(LOG_INFO, "endpoints: %s -> %s", item.first.c_str(), item.second.authority().c_str());
	if (!overrides.caFile.empty())
		logLine(LOG_INFO, "endpoints: extra CA file %s", overrides.caFile.c_str());
}

// Returns a copy so that callers never hold a reference into state that a
// later setEndpointOverrides replaces.
Overrides current()
{
	std::lock_guard<std::mutex> lock(g_mutex);
	if (!g_loaded) {
		const char *text = std::getenv("VANTEO_ENDPOINTS");
		const char *ca = std::getenv("VANTEO_CA_FILE");
		g_overrides = parseOverrides(text ? text : "", ca ? ca : "");
		g_loaded = true;
		logOverrides(g_overrides);
	}
	return g_overrides;
}

} // namespace

std::string Endpoint::authority() const
{
	bool v6 = host.find(':') != std::string::npos;
	std::string text = v6 ? "[" + host + "]" : host;
	if (port != 443)
		text += ":" + std::to_string(port);
	return text;
}

std::string Endpoint::httpsRoot() const
{
	return "https://" + authority() + "/";
}

Endpoint endpoint(const char *name)
{
	std::string key = name ? name : "";
	Overrides overrides = current();
	auto found = overrides.byName.find(key);
	if (found != overrides.byName.end())
		return found->second;
	Endpoint result;
	const TableEntry *entry = findEntry(key);
	result.host = entry ? entry->host : key;
	return result;
}

std::string endpointDefaultHost(const char *name)
{
	const TableEntry *entry = findEntry(name ? name : "");
	return entry ? entry->host : std::string();
}

Endpoint resolveRemote(const std::string &hostOrName, uint16_t port)
{
	Overrides overrides = current();
	auto found = overrides.byName.find(hostOrName);
	if (found != overrides.byName.end())
		return found->second;
	Endpoint result;
	result.port = port;
	if (const TableEntry *entry = findEntry(hostOrName)) {
		result.host = entry->host;
		return result;
	}
	bool hasPort = false;
	Endpoint literal;
	if (!splitAuthority(hostOrName, &literal, &hasPort)) {
		result.host = hostOrName;
		return result;
	}
	if (hasPort)
		return literal;
	for (const TableEntry &entry : kTable) {
		if (literal.host != entry.host)
			continue;
		auto over = overrides.byName.find(entry.name);
		if (over != overrides.byName.end())
			return over->second;
	}
	result.host = literal.host;
	return result;
}

std::string extraCaFile()
{
	return current().caFile;
}

void setEndpointOverrides(const std::string &endpointsText, const std::string &caFile)
{
	Overrides parsed = parseOverrides(endpointsText, caFile);
	std::lock_guard<std::mutex> lock(g_mutex);
	g_overrides = std::move(parsed);
	g_loaded = true;
}

} // namespace vanteo
