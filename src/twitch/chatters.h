#pragma once

#include "twitch/helix.h"

#include <string>
#include <vector>

// Who is in the channel's chat, sorted into roles for the chatter list of the
// chat dock. Runs on the request's thread, touches no shared state.
namespace vanteo {

// Reads a paged Helix list of users (path carries its query), up to 20 pages,
// collecting "user_name" (or "user_login" when that is empty) of every
// element. False only when not even the first page could be read; a later
// page that fails ends the list with what was read.
bool fetchPaged(const HelixContext &ctx, const std::string &path, std::vector<std::string> &namesOut);

// {"broadcaster":name|null,"moderators":[..],"vips":[..],"bots":[..],
// "viewers":[..],"total":N}: each chatter in exactly one role (broadcaster,
// moderator, VIP, known bot, viewer, tested in that order on lower-cased
// names), the lists sorted with letter case ignored.
std::string chattersJson(std::vector<std::string> chatters, const std::vector<std::string> &moderators,
			 const std::vector<std::string> &vips, const std::string &channelName);

// The chatter list of the channel (ctx.broadcasterId, named channelName).
// False (errorOut says why) when the chatters cannot be read; moderators and
// VIPs that cannot be read count as none.
bool loadChatters(const HelixContext &ctx, const std::string &channelName, std::string &jsonOut, std::string &errorOut);

} // namespace vanteo
