#include "hub/recent_history.h"

#include "common/json.h"

#include <algorithm>

namespace vanteo {

void RecentHistory::push(std::deque<Entry> &list, size_t limit, Entry entry)
{
	entry.seq = ++m_seq;
	list.push_back(std::move(entry));
	while (list.size() > limit)
		list.pop_front();
}

void RecentHistory::addMessage(const ChatMessage &message, std::string json)
{
	Entry entry;
	entry.kind = "message-in";
	entry.key = message.id;
	entry.platform = message.platform;
	entry.message = true;
	entry.userId = message.userId;
	entry.json = std::move(json);
	// What the activity dock lists (events and cheers) is kept apart, so a
	// busy chat does not push the last raid out.
	if (!message.eventId.empty() || message.bits > 0)
		push(m_items, m_limits.items, std::move(entry));
	else
		push(m_lines, m_limits.lines, std::move(entry));
}

void RecentHistory::addActivity(const std::string &id, const std::string &json)
{
	Entry entry;
	entry.kind = "activity";
	entry.key = id;
	entry.json = json;
	push(m_items, m_limits.items, std::move(entry));
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
	Entry entry;
	entry.kind = "clear";
	entry.key = key;
	entry.json = json;
	push(m_lines, m_limits.lines, std::move(entry));
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
