#pragma once

#include "twitch/account.h"

#include <cstdint>
#include <string>

// The settings kept in config.json, as the hub holds them in memory.
namespace vanteo {

struct Settings {
	std::string twitch;
	std::string tiktok;
	std::string youtube;
	std::string kick;
	bool setupDone = false;
	std::string clientId;
	std::string seToken;
	int64_t adLength = 60;
	// Words that make a chat line stand out like a mention, comma-separated
	// (as normaliseHighlightWords leaves them).
	std::string highlightWords;
	// Whether 7TV, BetterTTV and FrankerFaceZ emotes are loaded and shown.
	bool thirdPartyEmotes = true;
};

// The highlight words as stored: split at commas and line breaks, trimmed,
// empty ones dropped, at most 50 of at most 40 bytes, joined by ", ".
std::string normaliseHighlightWords(const std::string &text);

// Reads config.json (with the host's backup fallback, then the folder of the
// plug-in's earlier name). Returns false when no file parsed; `settings` and
// `account` keep their defaults then.
bool readSettingsFile(const std::string &path, Settings &settings, TwitchAccount &account);

// Writes config.json safely (temporary file, backup of the previous one),
// readable by its owner only.
bool writeSettingsFile(const std::string &path, const Settings &settings, const TwitchAccount &account);

// The "config" event payload. A stored account that Twitch has not
// confirmed yet (no login) is shown as pending, with `accountNote` saying why.
std::string configJson(const Settings &settings, const TwitchAccount &account, const std::string &accountNote,
		       bool autoGame, bool replayNotify, bool needsReauth);

} // namespace vanteo
