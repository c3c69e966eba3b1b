#include "tiktok/push_frame.h"

#include "tiktok/gunzip.h"
#include "tiktok/protobuf_wire.h"
#include "tiktok/webcast_mapping.h"

#include <random>

namespace vanteo {

std::string buildPushFrame(std::string_view payloadType, std::string_view payload, std::string_view logId)
{
	std::string out;
	out.reserve(payload.size() + payloadType.size() + 20);
	if (!logId.empty())
		writeVarintField(out, 2, decimalToUint64(logId));
	writeBytesField(out, 6, "pb");
	writeBytesField(out, 7, payloadType);
	writeBytesField(out, 8, payload);
	return out;
}

std::string enterRoomPayload(std::string_view roomId, uint64_t randomId)
{
	std::string out;
	writeVarintField(out, 1, decimalToUint64(roomId));
	writeBytesField(out, 2, "");
	writeBytesField(out, 3, "");
	writeVarintField(out, 4, 12);
	writeBytesField(out, 5, "audience");
	writeBytesField(out, 6, "");
	writeVarintField(out, 7, 0);
	writeVarintField(out, 8, randomId);
	writeBytesField(out, 9, "0");
	return out;
}

uint64_t enterRoomRandomId()
{
	std::random_device device;
	uint64_t high = static_cast<uint32_t>(device());
	uint64_t low = static_cast<uint32_t>(device());
	uint64_t id = ((high << 32) | low) & 0x7fffffffffffffffull;
	return id ? id : 1;
}

std::string heartbeatPayload(std::string_view roomId, uint64_t counter)
{
	std::string out;
	writeVarintField(out, 1, decimalToUint64(roomId));
	writeVarintField(out, 2, counter);
	return out;
}

DecodedFrame decodeFrame(std::string_view frame)
{
	DecodedFrame result;
	std::string_view encoding;
	if (!findBytesField(frame, 6, encoding) || encoding != "pb")
		return result;
	std::string_view payload;
	if (!findBytesField(frame, 8, payload))
		return result;
	uint64_t logId = 0;
	const bool hasLogId = getVarintField(frame, 2, logId);

	// Each thread inflates into its own buffer, reused from frame to frame;
	// the payload view points into it until this call returns.
	thread_local std::string inflated;
	struct Release {
		~Release() { releaseLargeScratch(inflated); }
	} release;
	if (payload.size() > 2 && static_cast<uint8_t>(payload[0]) == 0x1f &&
	    static_cast<uint8_t>(payload[1]) == 0x8b) {
		// Inflating may move the buffer: take its address only afterwards.
		const size_t size = gunzipInto(payload, inflated);
		payload = std::string_view(inflated.data(), size);
	}
	if (payload.empty())
		return result;
	result.accepted = true;

	// Acknowledge only a frame that asks for it and gives the extension the
	// acknowledgement must carry.
	uint64_t needAck = 0;
	std::string_view ext;
	if (hasLogId && getVarintField(payload, 9, needAck) && needAck != 0 && findBytesField(payload, 5, ext)) {
		result.logId = std::to_string(logId);
		result.internalExt.assign(ext.data(), ext.size());
	}

	// Room for every room message up front: records are large to move.
	size_t position = 0;
	size_t count = 0;
	FieldView field;
	while (nextField(payload, position, field))
		count += field.field == 1 && field.wireType == 2;
	result.messages.reserve(count);

	position = 0;
	while (nextField(payload, position, field)) {
		if (field.field != 1 || field.wireType != 2)
			continue;
		std::string_view method;
		std::string_view body;
		findBytesField(field.bytes, 1, method);
		if (!findBytesField(field.bytes, 2, body))
			continue;
		mapRoomMessage(method, body, result);
	}
	return result;
}

} // namespace vanteo
