// What TikTok's hosts send: push frames, signing answers and room lookup
// answers. Reading, inflating and mapping must stay within their buffers,
// bound their output and never throw; a room id that is passed on must be
// digits. The first byte picks how the rest is used, so that the fuzzer also
// reaches the room messages behind a valid envelope and behind gzip:
//   0  the whole frame          1  the payload of a "pb" frame
//   2  the payload, gzipped      3  a signing answer
//   4  a room lookup answer
#include "feed/chat_message.h"
#include "quiet_log.h"
#include "tiktok/push_frame.h"
#include "tiktok/room_lookup.h"
#include "tiktok/signing.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

std::string gzip(const std::string &data)
{
	z_stream z{};
	if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK)
		return std::string();
	std::string out(deflateBound(&z, data.size()) + 32, '\0');
	z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
	z.avail_in = static_cast<uInt>(data.size());
	z.next_out = reinterpret_cast<Bytef *>(&out[0]);
	z.avail_out = static_cast<uInt>(out.size());
	deflate(&z, Z_FINISH);
	out.resize(z.total_out);
	deflateEnd(&z);
	return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	using namespace vanteo;
	if (size == 0)
		return 0;
	const std::string rest(reinterpret_cast<const char *>(data) + 1, size - 1);
	std::string frame;
	switch (data[0] % 5) {
	case 0:
		frame = rest;
		break;
	case 1:
		frame = buildPushFrame("msg", rest, "12");
		break;
	case 2:
		frame = buildPushFrame("msg", gzip(rest), "12");
		break;
	case 3: {
		SigningAnswer answer = readSigningAnswer(rest);
		std::string query = pushQuery("7301", answer);
		PushTarget target = pushTarget(answer.pushAddress, query);
		SigningVerdict verdict = judgeSigning(true, 200, answer);
		if (query.empty() || target.path.empty() || (verdict.ok && answer.pushAddress.empty()))
			__builtin_trap();
		return 0;
	}
	default: {
		const RoomLookup r = judgeRoomLookup(true, 200, rest);
		if (r.ok == !r.error.empty() || (!r.ok && !r.roomId.empty()) || r.roomId.size() > 20 ||
		    r.roomId.find_first_not_of("0123456789") != std::string::npos)
			__builtin_trap();
		return 0;
	}
	}
	DecodedFrame decoded = decodeFrame(frame);
	if (!decoded.accepted && (!decoded.messages.empty() || !decoded.logId.empty() || decoded.viewerCount != -1))
		__builtin_trap();
	for (const ChatMessage &m : decoded.messages) {
		if (messageToJson(m).empty() || m.platform != Platform::TikTok)
			__builtin_trap();
	}
	if (!decoded.logId.empty())
		buildPushFrame("ack", decoded.internalExt, decoded.logId);
	return 0;
}
