#pragma once

#include "feed/chat_message.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

// The latest chat lines and activity items, kept so that a page opening its
// event stream late (a reloaded or newly shown dock) looks as the pages that
// were open all along. Removals are applied as they come: a deleted message
// or a timed out user's lines are marked struck, a cleared chat drops the
// lines of its platform kept so far. Memory only, bounded by `Limits`.
//
// Each entry is sent as one "recent" event:
//   {"kind":"message-in"|"activity"|"clear","key":..,"deleted":bool,"item":{..}}
// `key` is what the pages know the item by (the message's or item's id, or
// the key the hub put on a live "clear"), so a page that already shows it
// skips it. Not thread-safe: the hub guards it with its lock.
namespace vanteo {

class RecentHistory {
public:
	struct Limits {
		size_t lines = 200; // chat lines and moderator notices
		size_t items = 100; // subs, gifts, raids, cheers, follows, redemptions
	};
	RecentHistory() = default;
	explicit RecentHistory(Limits limits) : m_limits(limits) {}

	// `json` is the message's "message-in" data.
	void addMessage(const ChatMessage &message, const std::string &json);
	// `id` is the id inside `json`.
	void addActivity(const std::string &id, const std::string &json);
	// A moderator's removal (the arguments of the "clear" event), with the
	// key the hub gave its live event.
	void addClear(Platform platform, const std::string &id, const std::string &userId, const std::string &key,
		      const std::string &json);
	// Calls `send` with each entry's "recent" data, oldest first.
	void forEach(const std::function<void(const std::string &)> &send) const;
	size_t size() const { return m_lines.size() + m_items.size(); }

private:
	struct Entry {
		uint64_t seq = 0;
		const char *kind = "";
		std::string key;
		std::string userId; // messages only: what a timeout or ban matches
		Platform platform = Platform::Twitch;
		bool message = false;
		bool deleted = false;
		std::string json;
	};
	// The entry a new item is written into (at the back of `list`, with its
	// sequence number set and every other field reset), or nullptr when
	// the list keeps nothing.
	Entry *append(std::deque<Entry> &list, size_t limit, const char *kind, const std::string &key,
		      const std::string &json);

	Limits m_limits;
	uint64_t m_seq = 0;
	std::deque<Entry> m_lines;
	std::deque<Entry> m_items;
};

} // namespace vanteo
