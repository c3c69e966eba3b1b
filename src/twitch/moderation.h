#pragma once

#include "twitch/helix.h"

#include <string>

// Slash commands typed in the chat dock and the moderation actions of the
// page, carried out through Helix as the connected account (the moderator id
// is the account's user id). Blocking, stateless; see twitch/helix.h.
namespace vanteo {

// Runs one command text ("/timeout @x 60"); the reply is {"ok":true},
// {"ok":true,"notice":...} or {"error":...}.
std::string runChatCommand(const HelixContext &ctx, const std::string &text);

// Ban (durationSeconds 0) or timeout.
bool banUser(const HelixContext &ctx, const std::string &uid, long long durationSeconds, std::string &errorOut);
bool unbanUser(const HelixContext &ctx, const std::string &uid, std::string &errorOut);
bool updateChatSettings(const HelixContext &ctx, const std::string &settingsJson, std::string &errorOut);
bool clearChat(const HelixContext &ctx, std::string &errorOut);
bool deleteMessage(const HelixContext &ctx, const std::string &messageId, std::string &errorOut);
bool warnUser(const HelixContext &ctx, const std::string &uid, const std::string &reason, std::string &errorOut);

// The user id of a login typed with or without one leading "@".
bool resolveUser(const HelixContext &ctx, const std::string &name, std::string &idOut);

// The "user_name" values of a Helix list reply, joined with ", ".
std::string joinNames(const std::string &responseBody);

// A JSON string literal of text with every '"' and '\' removed.
std::string quoteSimple(const std::string &text);

// The reply of the moderation route for one request body (platform, action,
// id, userId, duration, reason).
std::string moderateAction(const HelixContext &ctx, const std::string &body);

} // namespace vanteo
