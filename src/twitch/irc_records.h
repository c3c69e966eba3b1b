#pragma once

#include "feed/chat_message.h"
#include "twitch/irc_message.h"

#include <string>

// Twitch chat lines turned into feed records, and the JSON of a removal.
// Pure functions: they run on the chat reader's thread and touch nothing
// shared.
namespace vanteo {

// A chat line (PRIVMSG). Badges, emotes, reply context, bits, /me and the
// first-message and returning-chatter marks come from the tags. The caller
// drops the record when its text is empty.
ChatMessage fromPrivmsg(const IrcMessage &message);

// A sub, resub, gift, mystery gift, raid, announcement or any other
// USERNOTICE: everything fromPrivmsg reads (the text is the user's attached
// message, often empty) plus the event fields. The caller drops the record
// when its eventId is empty.
ChatMessage fromUsernotice(const IrcMessage &message);

// The "clear" event for a removed message (id and author login), a timeout
// or ban (user id, login, duration in seconds or empty for a ban), or a
// cleared chat (all empty). The pages only know Twitch removals, so the
// platform is always written as "twitch".
std::string clearEventJson(Platform platform, const std::string &id, const std::string &userId, const std::string &name,
			   const std::string &duration);

// Image address of one Twitch emote on the emote CDN. The CDN's endpoint is
// resolved on first use and kept for the life of the process.
std::string twitchEmoteUrl(std::string_view emoteId);

} // namespace vanteo
