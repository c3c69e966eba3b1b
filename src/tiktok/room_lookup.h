#pragma once

#include <cstdint>
#include <string>

// Finding the live room of a TikTok account on the TikTok web host, split
// into the request text and the judgement of the answer so that both can be
// checked without a network. Pure functions; any thread.
namespace vanteo {

struct RoomLookup {
	bool ok = false;
	std::string roomId;     // decimal digits; empty when the account has none
	int32_t liveStatus = 0; // 2: live
	std::string error;      // the status text when !ok
};

constexpr int32_t kTikTokLiveStatus = 2;

// "/api-live/user/room/?aid=1988&...&uniqueId=" + the encoded name.
std::string roomLookupPath(const std::string &uniqueId);

// "Referer: <web root>/\r\n" for the endpoint the lookup goes to.
std::string roomLookupHeaders();

// The answer: `completed` false when no response came. A room id that is not
// plain decimal digits counts as missing: it goes into request paths and
// frames, so text from the network is never passed on as a room id.
RoomLookup judgeRoomLookup(bool completed, uint32_t status, const std::string &body);

} // namespace vanteo
