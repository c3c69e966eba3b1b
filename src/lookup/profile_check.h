#pragma once

#include "twitch/helix.h"

#include <string>

// Channel lookups for the setup wizard: does a Twitch, TikTok, YouTube or
// Kick channel of that name exist, what is its display name and picture, and
// (TikTok and Kick) is it live. Each lookup blocks its thread for as long as
// the site takes (the 15-second time-outs of platform/https.h) and keeps no
// state, so any thread may call; the control API runs them on the request's
// connection thread.
namespace vanteo {

// `platform` is "twitch", "tiktok", "youtube" or "kick"; `name` has passed
// normaliseChannelName. With a token in `twitch`, the Twitch lookup asks
// Helix; without one it reads the public channel page. Replies, in compact JSON,
//   {"ok":true,"name":..,"display":..,"avatar":..,"live":true|false} or
//   {"ok":false,"error":..}.
// A name with characters that normaliseChannelName never lets through is
// refused as "Invalid name" without a request, since it goes into paths.
std::string checkChannel(const std::string &platform, const std::string &name, const HelixContext &twitch);

// The content of the first <meta property="PROPERTY" content="..."> tag,
// written exactly so (one space, double quotes), up to the next double quote.
// "" when there is none or it is not closed. Entities are left as they are.
std::string ogMeta(const std::string &html, const std::string &property);

// The header line of the browser the lookups pose as.
extern const char kProfileCheckUserAgent[];

} // namespace vanteo
