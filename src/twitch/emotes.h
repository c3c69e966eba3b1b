#pragma once

#include "twitch/helix.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The Twitch emote and badge catalogues of the connected account. Both
// loaders block their thread while Helix answers and run on the hub's
// account worker (and on a request thread for "/api/emotes"); they keep no
// state of their own, so any thread may call them.
namespace vanteo {

// The emote picker's catalogue as it is collected: emote pages in, one JSON
// text out. Pure (no I/O), so that the grouping rules can be checked on
// recorded pages.
class EmoteCatalog {
public:
	// Adds the emotes of one Helix emote page; fixedGroup ("channel",
	// "globali") puts all of them in one group, "" groups each by its owner.
	// An emote whose name was already collected is skipped (the first one
	// wins). Returns the page's cursor ("" when none).
	std::string addPage(const std::string &body, const std::string &fixedGroup);

	// Owner ids met in unfixed pages, distinct, in the order first seen.
	const std::vector<std::string> &ownerIds() const { return m_ownerOrder; }
	// Takes display names and pictures from a Helix users answer.
	void addOwners(const std::string &usersBody);

	// {"emotes":[{"name","url","group"}..],"groups":[{"name","avatar"}..]},
	// groups ordered: the channel's, the other channels (by label, case
	// ignored), the global ones.
	std::string json() const;

private:
	struct Entry {
		std::string name;
		std::string url;
		std::string group; // "channel", "globali" or "id:" + owner id
	};
	std::vector<Entry> m_entries;
	std::set<std::string> m_names;
	std::vector<std::string> m_ownerOrder;
	std::set<std::string> m_ownerSeen;
	std::map<std::string, std::pair<std::string, std::string>> m_owners; // id -> (name, picture)
};

// The image address template used when a Helix answer carries none.
std::string defaultEmoteTemplate();

// Every emote the account can use: the channel's own (when the broadcaster
// id is known), the account's pages (100 a page, 40 pages at most) and the global
// ones, with the owners' names looked up 100 at a time. True when at least
// one emote request succeeded; jsonOut is then EmoteCatalog::json(). A 401 on
// the account's pages sets errorOut to the re-authorisation text even when
// the result is true.
bool loadEmotes(const HelixContext &ctx, std::string &jsonOut, std::string &errorOut);

// Fills the badge catalogue (feed/badges.h): the global badges, then the
// channel's (which replace global versions of the same key) when the
// broadcaster id is known. The outcome of the last request made; false
// without a token or client id.
bool loadBadges(const HelixContext &ctx);

} // namespace vanteo
