#include "hub/chat_dock.h"

#include "common/burst.h"
#include "common/json.h"
#include "common/log.h"
#include "feed/link_status.h"
#include "twitch/emote_providers.h"
#include "twitch/eventsub.h"
#include "twitch/irc_records.h"

#include <algorithm>

#include <util/base.h>

// The slots the connections report through, the events they become, and
// the snapshot of that state a page gets when it opens its stream.
namespace vanteo {

namespace {

// Room of the per-thread JSON buffer of chat lines kept from line to line.
constexpr size_t kKeptJsonRoom = 64 * 1024;

// The index of a platform's entry in the hub's arrays; an unknown value
// counts as TikTok, as its JSON word does.
size_t slot(Platform platform)
{
	const size_t i = static_cast<size_t>(platform);
	return i < kPlatformCount ? i : static_cast<size_t>(Platform::TikTok);
}

} // namespace

// A live item enters the recent history under the hub lock and is broadcast
// after it, so that a stalled page never holds the lock. A page that opens
// its stream in between gets the item both from the history and live, and
// skips the repeat by its key.
void ChatDock::onMessage(const ChatMessage &message)
{
	if (!message.id.empty() && Burst::active()) {
		// Inside a burst the event leaves when the burst ends, after the
		// history holds the item, so it may be queued before the history
		// takes it. The JSON is written into a buffer this thread keeps
		// from line to line; the server and the history copy it.
		thread_local std::string json;
		messageToJson(message, json);
		m_server.broadcast("message-in", json);
		std::lock_guard<std::mutex> guard(m_lock);
		m_history.addMessage(message, json);
		// One very long line does not pin its room for the thread's life.
		if (json.capacity() > kKeptJsonRoom)
			std::string().swap(json);
		return;
	}
	std::string json;
	{
		std::lock_guard<std::mutex> guard(m_lock);
		if (!message.id.empty()) {
			json = messageToJson(message);
			m_history.addMessage(message, json);
		} else {
			ChatMessage keyed = message;
			keyed.id = "vanteo-" + std::to_string(++m_historyKeys);
			json = messageToJson(keyed);
			m_history.addMessage(keyed, json);
		}
	}
	m_server.broadcast("message-in", json);
}

void ChatDock::onTwitchLine(const ChatMessage &message)
{
	std::shared_ptr<const ThirdPartyEmoteIndex> index = m_thirdParty->index();
	std::vector<EmoteSpan> found = index->find(message.text, message.emotes);
	if (found.empty()) {
		onMessage(message);
		return;
	}
	// Only a line with third-party emotes is copied.
	ChatMessage matched = message;
	addEmoteSpans(matched.emotes, std::move(found));
	onMessage(matched);
}

void ChatDock::onLinkStatus(Platform platform, const LinkStatus &status)
{
	bool countGone = false;
	{
		std::lock_guard<std::mutex> guard(m_lock);
		LinkStatus &link = m_links[slot(platform)];
		if (platform != Platform::Twitch && (link.state != status.state || link.detail != status.detail))
			logLine(LOG_INFO, "%s: %s (%s)", platformLabel(platform), linkStateWord(status.state),
				status.detail.c_str());
		link = status;
		// Twitch's count comes from its channel poller, whatever the chat
		// connection does; the others count only while connected.
		int64_t &viewers = m_viewers[slot(platform)];
		if (platform != Platform::Twitch && status.state != LinkState::Connected && viewers != -1) {
			viewers = -1;
			m_viewersChanged = true;
			countGone = true;
		}
	}
	if (countGone)
		pokeViewerEvents();
	statusJson();
}

void ChatDock::onClear(Platform platform, const std::string &id, const std::string &userId, const std::string &name,
		       const std::string &duration)
{
	std::string json = clearEventJson(platform, id, userId, name, duration);
	{
		std::lock_guard<std::mutex> guard(m_lock);
		const std::string key = "clear-" + std::to_string(++m_historyKeys);
		json.insert(json.size() - 1, ",\"key\":" + jsonQuote(key));
		m_history.addClear(platform, id, userId, key, json);
	}
	m_server.broadcast("clear", json);
}

void ChatDock::onTikTokViewers(int64_t count)
{
	setViewerCount(Platform::TikTok, count);
}

void ChatDock::onKickViewers(int64_t count)
{
	setViewerCount(Platform::Kick, count);
}

void ChatDock::onYouTubeViewers(int64_t count)
{
	setViewerCount(Platform::YouTube, count);
}

void ChatDock::onTwitchViewers(int64_t count)
{
	setViewerCount(Platform::Twitch, count);
}

void ChatDock::onTwitchPins(const std::string &json)
{
	// An event's data must stay on one line of the event stream. Raw line
	// breaks in JSON are only ever blanks between tokens (those inside
	// strings are escaped), so turning them into spaces keeps the meaning.
	std::string pins = json;
	std::replace(pins.begin(), pins.end(), '\r', ' ');
	std::replace(pins.begin(), pins.end(), '\n', ' ');
	std::lock_guard<std::mutex> guard(m_lock);
	if (pins == m_pins)
		return;
	m_pins = std::move(pins);
	m_server.broadcast("pins", m_pins);
}

void ChatDock::onActivity(const std::string &json)
{
	std::string keyed = json;
	{
		std::lock_guard<std::mutex> guard(m_lock);
		std::string id = jsonField(json, "id");
		if (id.empty() && !json.empty() && json[0] == '{') {
			// Follows carry no id of their own; the pages need one to know the item.
			id = "activity-" + std::to_string(++m_historyKeys);
			keyed.insert(1, "\"id\":" + jsonQuote(id) + (json.size() > 2 ? "," : ""));
		}
		m_history.addActivity(id, keyed);
	}
	m_server.broadcast("activity", keyed);
}

void ChatDock::onHeld(const HeldMessage &held)
{
	const std::string json = heldMessageJson(held);
	std::lock_guard<std::mutex> guard(m_lock);
	// Messages still waiting for a decision are kept for pages that open
	// later (a reloaded dock would otherwise lose them); a decision, made
	// here or on Twitch, ends the wait. Bounded: the oldest go first.
	auto found = std::find_if(m_pendingHeld.begin(), m_pendingHeld.end(),
				  [&](const std::pair<std::string, std::string> &p) { return p.first == held.id; });
	if (found != m_pendingHeld.end())
		m_pendingHeld.erase(found);
	if (!held.resolved) {
		m_pendingHeld.emplace_back(held.id, json);
		if (m_pendingHeld.size() > kMaxPendingHeld)
			m_pendingHeld.pop_front();
	}
	m_server.broadcast("held", json);
}

void ChatDock::onHighlight(const std::string &json)
{
	std::string type = jsonField(json, "type");
	std::string kind = highlightKind(type);
	if (type.size() < 8)
		return;
	std::lock_guard<std::mutex> guard(m_lock);
	static const std::string end = ".end";
	if (type.size() > 4 && type.compare(type.size() - end.size(), end.size(), end) == 0)
		m_highlights.erase(kind);
	else
		m_highlights[kind] = json;
	m_server.broadcast("highlight", json);
}

void ChatDock::statusJson()
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_server.broadcast("status", statusObjectJson(m_links));
}

void ChatDock::viewersJson()
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_viewersChanged = false;
	m_server.broadcast("viewers", viewersObjectJson(m_viewers));
}

void ChatDock::setViewerCount(Platform platform, int64_t count)
{
	{
		std::lock_guard<std::mutex> guard(m_lock);
		int64_t &stored = m_viewers[slot(platform)];
		if (stored == count)
			return;
		stored = count;
		m_viewersChanged = true;
	}
	pokeViewerEvents();
}

bool ChatDock::viewersChanged()
{
	std::lock_guard<std::mutex> guard(m_lock);
	return m_viewersChanged;
}

void ChatDock::requestDemoViewers()
{
	m_demoViewers = true;
	pokeViewerEvents();
}

void ChatDock::sendSnapshot()
{
	publishConfig();
	statusJson();
	viewersJson();
	std::lock_guard<std::mutex> guard(m_lock);
	for (const auto &entry : m_highlights)
		m_server.broadcast("highlight", entry.second);
	if (!m_pins.empty())
		m_server.broadcast("pins", m_pins);
	// Not part of the original snapshot, but a page opened later would
	// otherwise never learn whether AutoMod reviews reach the dock.
	if (!m_automodDetail.empty())
		m_server.broadcast("automod", m_automodDetail);
	for (const auto &held : m_pendingHeld)
		m_server.broadcast("held", held.second);
	// Up to 300 events: one write per page rather than one per event.
	Burst burst;
	m_history.forEach([this](const std::string &data) { m_server.broadcast("recent", data); });
}

} // namespace vanteo
