// The room lookup's answer body from the TikTok web host: any text must give
// one of the defined results, and a room id that is passed on must be digits.
#include "tiktok/room_lookup.h"
#include "quiet_log.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	using namespace vanteo;
	const std::string body(reinterpret_cast<const char *>(data), size);
	RoomLookup r = judgeRoomLookup(true, 200, body);
	if (r.ok == !r.error.empty())
		__builtin_trap();
	if (r.roomId.size() > 20 || r.roomId.find_first_not_of("0123456789") != std::string::npos)
		__builtin_trap();
	if (!r.ok && !r.roomId.empty())
		__builtin_trap();
	return 0;
}
