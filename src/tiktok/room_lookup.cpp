#include "tiktok/room_lookup.h"

#include "common/endpoints.h"
#include "common/obs_json.h"
#include "common/url_encode.h"

namespace vanteo {

namespace {

const char kNotFound[] = "TikTok user not found";

// Up to 20 digits: every room id fits an unsigned 64-bit number.
bool isRoomId(const std::string &text)
{
	if (text.empty() || text.size() > 20)
		return false;
	for (char c : text) {
		if (c < '0' || c > '9')
			return false;
	}
	return true;
}

} // namespace

std::string roomLookupPath(const std::string &uniqueId)
{
	return "/api-live/user/room/?aid=1988&app_language=en-US&app_name=tiktok_web&device_platform=web"
	       "&sourceType=54&uniqueId=" +
	       urlEncode(uniqueId);
}

std::string roomLookupHeaders()
{
	return "Referer: " + endpoint(endpoint_names::kTikTokWeb).httpsRoot() + "\r\n";
}

RoomLookup judgeRoomLookup(bool completed, uint32_t status, const std::string &body)
{
	RoomLookup result;
	if (!completed) {
		result.error = "TikTok is unreachable";
		return result;
	}
	if (status != 200) {
		result.error = "TikTok replied " + std::to_string(status);
		return result;
	}
	DataRef root(DataRef::parse(body));
	if (!root.get()) {
		result.error = "Unable to read the TikTok response";
		return result;
	}
	DataRef data(obs_data_get_obj(root.get(), "data"));
	if (!data.get()) {
		// An account that never went live has no room: not live, not an error.
		const char *message = obs_data_get_string(root.get(), "message");
		if (message && std::string(message) == "user_not_found") {
			result.ok = true;
			return result;
		}
		result.error = kNotFound;
		return result;
	}
	DataRef user(obs_data_get_obj(data.get(), "user"));
	if (user.get()) {
		const char *text = obs_data_get_string(user.get(), "roomId");
		result.roomId = text ? text : "";
		if (result.roomId.empty()) {
			long long number = obs_data_get_int(user.get(), "roomId");
			if (number > 0)
				result.roomId = std::to_string(number);
		}
	}
	DataRef room(obs_data_get_obj(data.get(), "liveRoom"));
	if (room.get())
		result.liveStatus = static_cast<int32_t>(obs_data_get_int(room.get(), "status"));
	if (!isRoomId(result.roomId)) {
		result.roomId.clear();
		result.error = kNotFound;
		return result;
	}
	result.ok = true;
	return result;
}

} // namespace vanteo
