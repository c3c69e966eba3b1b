#include "twitch/emote_providers.h"

#include "common/endpoints.h"
#include "common/log.h"
#include "platform/https.h"

#include <util/base.h>

#include <algorithm>

namespace vanteo {

namespace {

const size_t kCachedChannels = 8;

struct ProviderRoutes {
	const char *name;    // for the log
	const char *host;    // endpoint name
	const char *global;  // path of the global set
	const char *channel; // path of a channel's, the Twitch id appended
	std::vector<ThirdPartyEmote> (*readGlobal)(const std::string &);
	std::vector<ThirdPartyEmote> (*readChannel)(const std::string &);
};

// In EmoteProvider order.
const ProviderRoutes kProviders[kEmoteProviderCount] = {
    {"7TV", endpoint_names::kSevenTvApi, "/v3/emote-sets/global", "/v3/users/twitch/", readSevenTvSet, readSevenTvUser},
    {"BetterTTV", endpoint_names::kBttvApi, "/3/cached/emotes/global", "/3/cached/users/twitch/", readBttvGlobal,
     readBttvUser},
    {"FrankerFaceZ", endpoint_names::kFfzApi, "/v1/set/global", "/v1/room/id/", readFfzGlobal, readFfzRoom},
};

// Twitch ids are numbers; anything else is no channel.
std::string cleanRoom(const std::string &roomId)
{
	const bool digits = !roomId.empty() && roomId.size() <= 20 &&
			    std::all_of(roomId.begin(), roomId.end(), [](char c) { return c >= '0' && c <= '9'; });
	return digits ? roomId : std::string();
}

} // namespace

ThirdPartyEmoteLoader::ThirdPartyEmoteLoader(Timing timing)
	: m_timing(timing), m_index(std::make_shared<ThirdPartyEmoteIndex>())
{
	for (int p = 0; p < kEmoteProviderCount; ++p)
		m_workers[p] = std::make_unique<platform::SocketWorker>(kProviders[p].name);
}

void ThirdPartyEmoteLoader::setRoom(const std::string &roomId)
{
	const std::string room = cleanRoom(roomId);
	std::lock_guard<std::mutex> control(m_control);
	{
		std::lock_guard<std::mutex> guard(m_lock);
		if (room == m_room && (room.empty() || m_workers[0]->running()))
			return;
		m_room = room;
		if (!room.empty()) {
			m_channelOrder.erase(std::remove(m_channelOrder.begin(), m_channelOrder.end(), room),
					     m_channelOrder.end());
			m_channelOrder.push_back(room);
			m_channels[room];
			while (m_channelOrder.size() > kCachedChannels) {
				m_channels.erase(m_channelOrder.front());
				m_channelOrder.erase(m_channelOrder.begin());
			}
		}
		rebuildLocked();
	}
	restartWorkers();
}

void ThirdPartyEmoteLoader::setEnabled(bool on)
{
	std::lock_guard<std::mutex> control(m_control);
	{
		std::lock_guard<std::mutex> guard(m_lock);
		if (m_enabled == on)
			return;
		m_enabled = on;
		rebuildLocked();
	}
	restartWorkers();
}

void ThirdPartyEmoteLoader::requestStop()
{
	{
		std::lock_guard<std::mutex> guard(m_lock);
		m_stopped = true;
	}
	for (auto &worker : m_workers)
		worker->requestStop();
}

void ThirdPartyEmoteLoader::stop()
{
	requestStop();
	std::lock_guard<std::mutex> control(m_control);
	for (auto &worker : m_workers)
		worker->stop();
}

std::shared_ptr<const ThirdPartyEmoteIndex> ThirdPartyEmoteLoader::index() const
{
	std::lock_guard<std::mutex> guard(m_lock);
	return m_index;
}

// Under m_control. The running workers are all told first, so their
// aborts run side by side.
void ThirdPartyEmoteLoader::restartWorkers()
{
	std::string room;
	bool active = false;
	{
		std::lock_guard<std::mutex> guard(m_lock);
		room = m_room;
		active = m_enabled && !m_stopped && !m_room.empty();
	}
	for (auto &worker : m_workers)
		worker->requestStop();
	for (int p = 0; p < kEmoteProviderCount; ++p) {
		if (!active) {
			m_workers[p]->stop();
			continue;
		}
		const auto provider = static_cast<EmoteProvider>(p);
		m_workers[p]->start([this, provider, room] { run(provider, room); });
	}
}

void ThirdPartyEmoteLoader::run(EmoteProvider provider, const std::string &room)
{
	const int p = static_cast<int>(provider);
	platform::SocketWorker &worker = *m_workers[p];
	while (worker.running()) {
		bool globalDue = false;
		bool channelDue = false;
		std::chrono::steady_clock::time_point next;
		{
			std::lock_guard<std::mutex> guard(m_lock);
			const auto now = std::chrono::steady_clock::now();
			globalDue = m_global[p].due <= now;
			next = m_global[p].due;
			auto channel = room.empty() ? m_channels.end() : m_channels.find(room);
			if (channel != m_channels.end()) {
				channelDue = channel->second[p].due <= now;
				next = std::min(next, channel->second[p].due);
			}
		}
		if (globalDue || channelDue) {
			std::vector<ThirdPartyEmote> emotes;
			if (globalDue) {
				const bool ok = fetch(provider, std::string(), emotes);
				store(provider, std::string(), ok, std::move(emotes));
			}
			if (channelDue && worker.running()) {
				emotes.clear();
				const bool ok = fetch(provider, room, emotes);
				store(provider, room, ok, std::move(emotes));
			}
			continue;
		}
		worker.pauseUntil(next);
	}
}

bool ThirdPartyEmoteLoader::fetch(EmoteProvider provider, const std::string &room, std::vector<ThirdPartyEmote> &out)
{
	const ProviderRoutes &routes = kProviders[static_cast<int>(provider)];
	const std::string path = room.empty() ? routes.global : routes.channel + room;
	std::string body;
	uint32_t status = 0;
	if (!platform::httpsGet(routes.host, path, body, status)) {
		if (m_workers[static_cast<int>(provider)]->running())
			logLine(LOG_WARNING, "%s emotes: no answer for %s", routes.name, path.c_str());
		return false;
	}
	// A channel the provider does not know has no emotes there.
	if (status == 404 && !room.empty())
		return true;
	if (status != 200) {
		logLine(LOG_WARNING, "%s emotes: status %u for %s", routes.name, static_cast<unsigned>(status),
			path.c_str());
		return false;
	}
	out = room.empty() ? routes.readGlobal(body) : routes.readChannel(body);
	return true;
}

// A failed request keeps the emotes loaded before and asks again sooner.
void ThirdPartyEmoteLoader::store(EmoteProvider provider, const std::string &room, bool ok,
				  std::vector<ThirdPartyEmote> emotes)
{
	const int p = static_cast<int>(provider);
	std::lock_guard<std::mutex> guard(m_lock);
	if (!room.empty() && m_channels.find(room) == m_channels.end())
		return; // pushed out of the cache meanwhile
	Loaded &slot = room.empty() ? m_global[p] : m_channels[room][p];
	slot.due = std::chrono::steady_clock::now() + (ok ? m_timing.refresh : m_timing.retry);
	if (!ok)
		return;
	slot.emotes = std::move(emotes);
	if (room.empty() || room == m_room)
		rebuildLocked();
}

// Channel sets before global ones, 7TV before BetterTTV before
// FrankerFaceZ: the first emote of a code wins.
void ThirdPartyEmoteLoader::rebuildLocked()
{
	auto index = std::make_shared<ThirdPartyEmoteIndex>();
	if (m_enabled) {
		auto channel = m_room.empty() ? m_channels.end() : m_channels.find(m_room);
		if (channel != m_channels.end()) {
			for (int p = 0; p < kEmoteProviderCount; ++p)
				index->add(static_cast<EmoteProvider>(p), channel->second[p].emotes);
		}
		for (int p = 0; p < kEmoteProviderCount; ++p)
			index->add(static_cast<EmoteProvider>(p), m_global[p].emotes);
	}
	m_index = std::move(index);
}

} // namespace vanteo
