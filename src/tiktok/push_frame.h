#pragma once

#include "feed/chat_message.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The push frame that wraps every message of the TikTok WebSocket in both
// directions, and the response inside a received one:
//
//   push frame   2 varint log id · 6 "pb" · 7 payload type · 8 payload
//   response     1 room message (repeated) · 5 internal extension ·
//                9 varint need-acknowledgement
//   room message 1 method name · 2 body (see webcast_mapping.h)
//
// Pure functions; any thread.
namespace vanteo {

// One received WebSocket message, decoded.
struct DecodedFrame {
	std::vector<ChatMessage> messages; // in the order of the room messages
	std::string logId;                 // decimal; non-empty: acknowledge this frame
	std::string internalExt;           // the acknowledgement's payload
	int64_t viewerCount = -1;          // -1: the frame carried none
	bool accepted = false;
};

// Fields 2 (only when logId is non-empty, read as a decimal number), 6, 7 and
// 8, in that order.
std::string buildPushFrame(std::string_view payloadType, std::string_view payload,
			   std::string_view logId = std::string_view());

// The "im_enter_room" payload that announces us in the room as an audience
// member. randomId is a non-zero 63-bit number (see enterRoomRandomId).
std::string enterRoomPayload(std::string_view roomId, uint64_t randomId);

// A random non-zero 63-bit number from the system's random device.
uint64_t enterRoomRandomId();

// The "hb" payload: room id and beat counter.
std::string heartbeatPayload(std::string_view roomId, uint64_t counter);

// Accepts a frame whose encoding is "pb" and which carries a payload (gzip
// payloads are inflated, up to the gunzip cap); maps its room messages. A
// rejected frame has no messages, no count and no acknowledgement.
DecodedFrame decodeFrame(std::string_view frame);

} // namespace vanteo
