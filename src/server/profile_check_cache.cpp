#include "server/profile_check_cache.h"

#include "hub/chat_dock.h"
#include "common/json.h"
#include "lookup/channel_name.h"
#include "lookup/profile_check.h"
#include "server/routes.h"

#include <util/platform.h>

namespace vanteo {

ProfileCheckCache::ProfileCheckCache(Clock clock) : m_clock(std::move(clock)) {}

std::string ProfileCheckCache::check(const std::string &platform, const std::string &name, const Checker &checker)
{
	const std::string key = platform + ":" + name;
	{
		std::lock_guard<std::mutex> guard(m_lock);
		auto found = m_entries.find(key);
		if (found != m_entries.end() && m_clock() - found->second.first < kLifetimeNs)
			return found->second.second;
	}
	std::string reply = checker(platform, name);
	if (reply.compare(0, 10, "{\"ok\":true") == 0) {
		const uint64_t now = m_clock();
		std::lock_guard<std::mutex> guard(m_lock);
		// Entries past their lifetime are dropped as new ones come in, so
		// the map holds at most the names checked in the last 10 minutes.
		for (auto it = m_entries.begin(); it != m_entries.end();)
			it = now - it->second.first >= kLifetimeNs ? m_entries.erase(it) : std::next(it);
		m_entries[key] = {now, reply};
	}
	return reply;
}

std::string routeCheck(ChatDock &hub, const std::string &body)
{
	// One cache for the whole process, kept until the module unloads.
	static ProfileCheckCache cache([] { return os_gettime_ns(); });

	const std::string platform = jsonField(body, "platform");
	std::string error;
	const std::string name = normaliseChannelName(jsonField(body, "name"), platform == "twitch", error);
	if (name.empty())
		return "{\"ok\":false,\"error\":\"Invalid name\"}";
	return cache.check(platform, name, [&hub](const std::string &p, const std::string &n) {
		// Only a lookup the cache could not answer reads the account.
		HelixContext twitch;
		if (p == "twitch")
			twitch = hub.accountContext().helix;
		return checkChannel(p, n, twitch);
	});
}

} // namespace vanteo
