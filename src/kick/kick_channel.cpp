#include "kick/kick_channel.h"

#include "common/endpoints.h"
#include "common/obs_json.h"
#include "platform/https.h"

namespace vanteo {

namespace {

// The header line of the browser the requests pose as; Kick's site turns
// away clients that name no browser.
const char kBrowserHeaders[] = "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
			       "Gecko) Chrome/128.0.0.0 Safari/537.36\r\nAccept: application/json\r\n";

} // namespace

std::string kickChannelPath(const std::string &slug)
{
	return "/api/v2/channels/" + slug;
}

KickChannel readKickChannel(bool completed, uint32_t httpStatus, const std::string &body)
{
	KickChannel channel;
	if (!completed) {
		channel.error = "Kick is unreachable";
		return channel;
	}
	if (httpStatus == 404) {
		channel.error = "No Kick channel matches this name";
		return channel;
	}
	if (httpStatus != 200) {
		channel.error = "Kick answered " + std::to_string(httpStatus);
		return channel;
	}
	DataRef root(DataRef::parse(body));
	DataRef user(root ? obs_data_get_obj(root.get(), "user") : nullptr);
	DataRef chatroom(root ? obs_data_get_obj(root.get(), "chatroom") : nullptr);
	DataRef stream(root ? obs_data_get_obj(root.get(), "livestream") : nullptr);
	channel.username = dataString(user.get(), "username");
	channel.avatar = dataString(user.get(), "profile_pic");
	const long long room = chatroom ? obs_data_get_int(chatroom.get(), "id") : 0;
	if (channel.username.empty()) {
		channel.error = "No Kick channel matches this name";
		return channel;
	}
	if (room > 0)
		channel.chatroomId = std::to_string(room);
	channel.live = bool(stream);
	if (stream && obs_data_has_user_value(stream.get(), "viewer_count")) {
		const long long viewers = obs_data_get_int(stream.get(), "viewer_count");
		channel.viewers = viewers >= 0 ? viewers : -1;
	}
	channel.ok = true;
	return channel;
}

KickChannel lookupKickChannel(const std::string &slug)
{
	std::string body;
	uint32_t status = 0;
	const bool completed =
	    platform::httpsGet(endpoint_names::kKick, kickChannelPath(slug), body, status, kBrowserHeaders, 443);
	return readKickChannel(completed, status, body);
}

} // namespace vanteo
