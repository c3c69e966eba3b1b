#include "lookup/profile_check.h"

#include "common/endpoints.h"
#include "common/json.h"
#include "common/obs_json.h"
#include "kick/kick_channel.h"
#include "platform/https.h"
#include "tiktok/room_lookup.h"
#include "twitch/helix.h"

#include <cstdint>

namespace vanteo {

const char kProfileCheckUserAgent[] =
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
    "Gecko) Chrome/128.0.0.0 Safari/537.36\r\n";

namespace {

using namespace endpoint_names;

const char kNoTwitch[] = "No Twitch channel matches this name";

std::string success(const std::string &name, const std::string &display, const std::string &avatar, bool live)
{
	return "{\"ok\":true,\"name\":" + jsonQuote(name) + ",\"display\":" + jsonQuote(display) +
	       ",\"avatar\":" + jsonQuote(avatar) + ",\"live\":" + (live ? "true" : "false") + "}";
}

std::string failure(const std::string &error)
{
	return "{\"ok\":false,\"error\":" + jsonQuote(error) + "}";
}

// A page or API answer that counts: a response arrived and it is a 200.
bool fetch(const char *host, const std::string &path, const std::string &headers, std::string &body)
{
	uint32_t status = 0;
	return platform::httpsGet(host, path, body, status, headers, 443) && status == 200;
}

// The member object `key` of `parent` (a new reference), or null when either
// is missing or the member is not an object (null included).
obs_data_t *member(obs_data_t *parent, const char *key)
{
	return parent ? obs_data_get_obj(parent, key) : nullptr;
}

// The names normaliseChannelName lets through; the lookups put them into
// paths and queries as they are.
bool isPathSafe(const std::string &name)
{
	if (name.empty())
		return false;
	for (char c : name) {
		const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
		if (!ok)
			return false;
	}
	return true;
}

std::string checkTikTok(const std::string &name)
{
	std::string body;
	if (!fetch(kTikTokWeb, roomLookupPath(name), roomLookupHeaders() + kProfileCheckUserAgent, body))
		return failure("TikTok is unreachable");

	DataRef root(DataRef::parse(body));
	DataRef data(member(root.get(), "data"));
	DataRef user(member(data.get(), "user"));
	DataRef room(member(data.get(), "liveRoom"));
	std::string display = dataString(user.get(), "nickname");
	const std::string avatar = dataString(user.get(), "avatarThumb");
	const bool live = room && obs_data_get_int(room.get(), "status") == kTikTokLiveStatus;

	// Accounts without a nickname in the room answer (or that TikTok hides
	// from it) still have a public profile; its oEmbed card names the author.
	if (display.empty()) {
		const std::string profile = endpoint(kTikTokWeb).httpsRoot() + "@" + name;
		std::string card;
		if (fetch(kTikTokWeb, "/oembed?url=" + profile, kProfileCheckUserAgent, card)) {
			DataRef cardRoot(DataRef::parse(card));
			display = dataString(cardRoot.get(), "author_name");
		}
	}
	if (display.empty())
		return failure("No TikTok profile matches this name");
	return success(name, display, avatar, live);
}

std::string checkKick(const std::string &name)
{
	// Any failure reads as a missing channel here, as it always has in Setup.
	const KickChannel channel = lookupKickChannel(name);
	if (!channel.ok)
		return failure("No Kick channel matches this name");
	return success(name, channel.username, channel.avatar, channel.live);
}

std::string checkYouTube(const std::string &name)
{
	const char notFound[] = "No YouTube channel matches this name";
	// The cookie line answers the consent page in advance; without it
	// visitors from some regions get that page instead of the channel.
	const std::string headers = std::string(kProfileCheckUserAgent) + "Cookie: SOCS=CAI; CONSENT=YES+cb\r\n";
	std::string page;
	if (!fetch(kYouTube, "/@" + name + "?ucbcb=1", headers, page))
		return failure(notFound);

	const std::string display = ogMeta(page, "og:title");
	if (display.empty())
		return failure(notFound);
	return success(name, display, ogMeta(page, "og:image"), false);
}

std::string checkTwitchHelix(const std::string &name, const HelixContext &twitch)
{
	std::string reply;
	std::string error;
	if (!helixCall(twitch, "GET", "/helix/users?login=" + urlEncode(name), std::string(), reply, error))
		return failure(error);
	DataRef user(firstDataItem(reply));
	const std::string display = dataString(user.get(), "display_name");
	if (display.empty())
		return failure(kNoTwitch);
	return success(name, display, dataString(user.get(), "profile_image_url"), false);
}

std::string checkTwitchPage(const std::string &name)
{
	// Twitch sometimes serves its generic page to a channel that exists, so
	// a page without a title is fetched once more.
	std::string page;
	for (int attempt = 0; attempt < 2 && ogMeta(page, "og:title").empty(); ++attempt) {
		if (!fetch(kTwitchWeb, "/" + name, kProfileCheckUserAgent, page))
			page.clear();
	}

	std::string title = ogMeta(page, "og:title");
	if (title.empty() && page.find("<title>Twitch</title>") != std::string::npos)
		return failure(kNoTwitch);
	const std::string suffix = " - Twitch";
	if (title.size() > suffix.size() && title.compare(title.size() - suffix.size(), suffix.size(), suffix) == 0)
		title.resize(title.size() - suffix.size());
	// An unreadable page is no proof that the channel is missing: the typed
	// name stands in for the display name.
	return success(name, title.empty() ? name : title, ogMeta(page, "og:image"), false);
}

} // namespace

std::string ogMeta(const std::string &html, const std::string &property)
{
	const std::string opening = "<meta property=\"" + property + "\" content=\"";
	const size_t at = html.find(opening);
	if (at == std::string::npos)
		return std::string();
	const size_t begin = at + opening.size();
	const size_t end = html.find('"', begin);
	if (end == std::string::npos)
		return std::string();
	return html.substr(begin, end - begin);
}

std::string checkChannel(const std::string &platform, const std::string &name, const HelixContext &twitch)
{
	const bool known = platform == "tiktok" || platform == "kick" || platform == "youtube" || platform == "twitch";
	if (!known)
		return failure("Unknown platform");
	if (!isPathSafe(name))
		return failure("Invalid name");
	if (platform == "tiktok")
		return checkTikTok(name);
	if (platform == "kick")
		return checkKick(name);
	if (platform == "youtube")
		return checkYouTube(name);
	if (!twitch.account.token.empty())
		return checkTwitchHelix(name, twitch);
	return checkTwitchPage(name);
}

} // namespace vanteo
