#include "tiktok/room_lookup.h"

#include "hub/endpoints.h"

#include <obs-data.h>

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

bool looksLikeObject(const std::string &body)
{
	size_t first = body.find_first_not_of(" \t\r\n");
	return first != std::string::npos && body[first] == '{';
}

// Releases a libobs data object at the end of a scope.
struct DataRef {
	obs_data_t *data;
	explicit DataRef(obs_data_t *d) : data(d) {}
	~DataRef()
	{
		if (data)
			obs_data_release(data);
	}
	DataRef(const DataRef &) = delete;
	DataRef &operator=(const DataRef &) = delete;
};

} // namespace

std::string percentEncode(const std::string &text)
{
	static const char kHex[] = "0123456789ABCDEF";
	std::string out;
	out.reserve(text.size() * 3);
	for (unsigned char c : text) {
		if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
		    c == '.' || c == '_' || c == '~') {
			out += static_cast<char>(c);
		} else {
			out += '%';
			out += kHex[c >> 4];
			out += kHex[c & 15];
		}
	}
	return out;
}

std::string roomLookupPath(const std::string &uniqueId)
{
	return "/api-live/user/room/?aid=1988&app_language=en-US&app_name=tiktok_web&device_platform=web"
	       "&sourceType=54&uniqueId=" +
	       percentEncode(uniqueId);
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
	DataRef root(looksLikeObject(body) ? obs_data_create_from_json(body.c_str()) : nullptr);
	if (!root.data) {
		result.error = "Unable to read the TikTok response";
		return result;
	}
	DataRef data(obs_data_get_obj(root.data, "data"));
	if (!data.data) {
		// An account that never went live has no room: not live, not an error.
		const char *message = obs_data_get_string(root.data, "message");
		if (message && std::string(message) == "user_not_found") {
			result.ok = true;
			return result;
		}
		result.error = kNotFound;
		return result;
	}
	DataRef user(obs_data_get_obj(data.data, "user"));
	if (user.data) {
		const char *text = obs_data_get_string(user.data, "roomId");
		result.roomId = text ? text : "";
		if (result.roomId.empty()) {
			long long number = obs_data_get_int(user.data, "roomId");
			if (number > 0)
				result.roomId = std::to_string(number);
		}
	}
	DataRef room(obs_data_get_obj(data.data, "liveRoom"));
	if (room.data)
		result.liveStatus = static_cast<int32_t>(obs_data_get_int(room.data, "status"));
	if (!isRoomId(result.roomId)) {
		result.roomId.clear();
		result.error = kNotFound;
		return result;
	}
	result.ok = true;
	return result;
}

} // namespace vanteo
