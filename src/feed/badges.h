#pragma once

#include <QImage>

#include <string>
#include <utility>
#include <vector>

// Built-in Twitch badges (painted locally) and the process-wide catalogue of
// the channel's and the platform's real badge titles and images.
namespace vanteo {

// Set ids of the built-in badges, in table order.
const std::vector<std::string> &builtInBadgeIds();
bool hasBuiltInBadge(const std::string &setId);

// Built-in title, or the set id itself when the row has none or is unknown.
std::string badgeTitle(const std::string &setId);

// 54 x 54 painting of a built-in badge; a null image for an unknown set id.
QImage renderBadgeImage(const std::string &setId);

// Every built-in badge scaled to 36 x 36 and encoded as PNG, in table order;
// a badge that cannot be rendered or encoded is skipped.
std::vector<std::pair<std::string, std::string>> builtInBadgePngs();

// Catalogue lookups by set id and version; "" when absent. Thread-safe.
std::string catalogBadgeTitle(const std::string &setId, const std::string &version);
std::string catalogBadgeUrl(const std::string &setId, const std::string &version);
// Both at once (one lock, one search); false when the entry is absent.
bool catalogBadge(const std::string &setId, const std::string &version, std::string &title, std::string &url);
// Adds or replaces one entry (entries are never removed).
void catalogSetBadge(const std::string &setId, const std::string &version, const std::string &title,
		     const std::string &url);
// The broadcaster whose channel badges were loaded last ("" before any).
void catalogSetBroadcaster(const std::string &broadcasterId);
std::string catalogBroadcaster();

} // namespace vanteo
