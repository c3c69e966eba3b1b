#include "hub/recent_history.h"

#include "common/json.h"

#include <algorithm>

namespace vanteo {

namespace {

// Room of a recycled entry's JSON kept when the next item needs less: enough
// for any usual chat line, so that one very long line does not pin its
// storage for the life of the history.
constexpr size_t kKeptJsonRoom = 8192;

} // namespace

// A full list turns its oldest entry into the newest: assigning into its
// strings reuses their storage, where dropping it and adding a fresh one
// would free and allocate every string of every line.
RecentHistory::Entry *RecentHistory::append(std::deque<Entry> &list, size_t limit, const char *kind,
					    const std::string &key, const std::string &json)
{
	if (limit == 0)
		return nullptr;
	if (list.size() < limit) {
		list.emplace_back();
	} else {
		Entry oldest = std::move(list.front());
		list.pop_front();
		list.push_back(std::move(oldest));
	}
	Entry &entry = list.back();
	entry.seq = ++m_seq;
	entry.kind = kind;
	entry.key.assign(key);
	entry.userId.clear();
	entry.platform = Platform::Twitch;
	entry.message = false;
	entry.deleted = false;
	if (entry.json.capacity() > kKeptJsonRoom && json.size() <= kKeptJsonRoom)
		std::string().swap(entry.json);
	entry.json.assign(json);
	return &entry;
}

void RecentHistory::addMessage(const ChatMessage &message, const std::string &json)
{
	// What the activity dock lists (events and cheers) is kept apart, so a
	// busy chat does not push the last raid out.
	const bool item = !message.eventId.empty() || message.bits > 0;
	Entry *entry = item ? append(m_items, m_limits.items, "message-in", message.id, json)
			    : append(m_lines, m_limits.lines, "message-in", message.id, json);
	if (!entry)
		return;
	entry->platform = message.platform;
	entry->message = true;
	entry->userId.assign(message.userId);
}

void RecentHistory::addActivity(const std::string &id, const std::string &json)
{
	append(m_items, m_limits.items, "activity", id, json);
}

void RecentHistory::addClear(Platform platform, const std::string &id, const std::string &userId,
			     const std::string &key, const std::string &json)
{
	// Only lines of the removal's platform are matched, as on the pages:
	// each platform has ids of its own. TikTok reports no removals.
	if (platform == Platform::TikTok)
		return;
	auto strike = [&](Entry &e) {
		if (e.message && e.platform == platform && (id.empty() ? e.userId == userId : e.key == id))
			e.deleted = true;
	};
	if (!id.empty() || !userId.empty()) {
		std::for_each(m_lines.begin(), m_lines.end(), strike);
		std::for_each(m_items.begin(), m_items.end(), strike);
		// One deleted message shows no notice; a timeout or ban does.
		if (!id.empty())
			return;
	} else {
		// The whole chat: its platform's lines are gone. The items stay for the
		// activity dock; the replayed clear removes them from the chat page
		// as it did live.
		m_lines.erase(std::remove_if(m_lines.begin(), m_lines.end(),
					     [&](const Entry &e) { return e.message && e.platform == platform; }),
			      m_lines.end());
	}
	append(m_lines, m_limits.lines, "clear", key, json);
}

void RecentHistory::forEach(const std::function<void(const std::string &)> &send) const
{
	auto line = m_lines.begin();
	auto item = m_items.begin();
	while (line != m_lines.end() || item != m_items.end()) {
		const bool takeLine = item == m_items.end() || (line != m_lines.end() && line->seq < item->seq);
		const Entry &e = takeLine ? *line++ : *item++;
		std::string data;
		data.reserve(e.json.size() + e.key.size() + 64);
		data += "{\"kind\":\"";
		data += e.kind;
		data += "\",\"key\":";
		data += jsonQuote(e.key);
		data += ",\"deleted\":";
		data += e.deleted ? "true" : "false";
		data += ",\"item\":";
		data += e.json;
		data += '}';
		send(data);
	}
}

} // namespace vanteo
