#pragma once

#include <string>

namespace vanteo {

// Looks a channel up for the setup wizard. `platform` is "twitch",
// "tiktok", "youtube" or "kick"; `name` has passed normaliseChannelName.
// Replies {"ok":true,"name":..,"display":..,"avatar":..,"live":..} or
// {"ok":false,"error":..}. Synchronous: runs on the request's thread.
std::string checkChannel(const std::string &platform, const std::string &name);

} // namespace vanteo
