#pragma once

#include "feed/chat_message.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// Emotes of the three third-party providers of Twitch chat (7TV, BetterTTV,
// FrankerFaceZ): their answers read into plain lists, and an index that
// turns words of a chat line into emote spans. Pure: no I/O, no shared
// state; an index is built once and then only read, by any thread.
namespace vanteo {

enum class EmoteProvider : int { SevenTv = 0, Bttv = 1, Ffz = 2 };
constexpr int kEmoteProviderCount = 3;

// "7TV", "BetterTTV", "FrankerFaceZ": the picker's group names.
const char *emoteProviderLabel(EmoteProvider provider);

struct ThirdPartyEmote {
	std::string code; // the word that stands for it
	std::string url;  // image on the provider's CDN (its endpoint)
	bool zeroWidth = false;
};

// Each reader takes one answer body and returns its usable emotes, in the
// answer's order: an entry without a valid id or code is skipped, an answer
// that does not parse gives an empty list, and at most kMaxEmotesPerAnswer
// are read. Image addresses are made from the emote id and the provider's
// CDN endpoint, never taken from the answer.
constexpr size_t kMaxEmotesPerAnswer = 5000;

// 7TV: an emote set (the global one), or a Twitch user's connection, whose
// "emote_set" is one.
std::vector<ThirdPartyEmote> readSevenTvSet(const std::string &body);
std::vector<ThirdPartyEmote> readSevenTvUser(const std::string &body);
// BetterTTV: the global list (a JSON array), or a Twitch user's
// "channelEmotes" followed by "sharedEmotes".
std::vector<ThirdPartyEmote> readBttvGlobal(const std::string &body);
std::vector<ThirdPartyEmote> readBttvUser(const std::string &body);
// FrankerFaceZ: the sets named by "default_sets" of the global answer, or
// the set named by "room.set" of a room answer.
std::vector<ThirdPartyEmote> readFfzGlobal(const std::string &body);
std::vector<ThirdPartyEmote> readFfzRoom(const std::string &body);

class ThirdPartyEmoteIndex {
public:
	// Adds a provider's list; a code already present keeps its first
	// emote, so lists are added from the most to the least specific.
	void add(EmoteProvider provider, const std::vector<ThirdPartyEmote> &emotes);
	bool empty() const { return m_codes.empty(); }
	size_t size() const { return m_codes.size(); }

	// A span for every word of `text` (words are separated by spaces and
	// match a code exactly, letter case included) that is a known code and
	// overlaps none of the `taken` spans (Twitch's own), in text order.
	// Positions count Unicode code points, inclusive, as Twitch's do.
	std::vector<EmoteSpan> find(const std::string &text, const std::vector<EmoteSpan> &taken) const;
	// Adds what find() gives to `spans`, then orders them by their start.
	void match(const std::string &text, std::vector<EmoteSpan> &spans) const;

	// The picker's entries {"name","url","group"} joined by commas, and the
	// groups {"name","avatar"} of the providers that have any, in
	// provider order.
	std::string pickerEmotes() const;
	std::string pickerGroups() const;

private:
	struct Entry {
		std::string url;
		bool zeroWidth;
		EmoteProvider provider;
	};
	std::unordered_map<std::string, Entry> m_codes;
	std::vector<std::string> m_order; // codes in the order added
	size_t m_shortest = SIZE_MAX;
	size_t m_longest = 0;
	bool m_firstBytes[256] = {}; // bytes some code starts with
};

// Adds `found` to `spans` and orders them all by their start.
void addEmoteSpans(std::vector<EmoteSpan> &spans, std::vector<EmoteSpan> found);

// The picker's answer with the third-party groups after Twitch's own:
// `catalog` is EmoteCatalog::json() ({"emotes":[..],"groups":[..]}).
std::string withThirdPartyEmotes(const std::string &catalog, const ThirdPartyEmoteIndex &index);

} // namespace vanteo
