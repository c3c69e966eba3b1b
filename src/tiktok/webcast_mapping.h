#pragma once

#include "feed/chat_message.h"

#include <string_view>

// What the room's messages mean to the feed. Seven methods are understood:
//
//   WebcastChatMessage        chat line            2 user · 3 text · 18 identity
//   WebcastEmoteChatMessage   line of emotes       2 user · 3 emote (repeated)
//   WebcastMemberMessage      "join"               2 user · 3 viewers · 10 action
//   WebcastRoomUserSeqMessage viewer count only    3 viewers
//   WebcastLikeMessage        "like"               2 count · 3 total · 5 user
//   WebcastSocialMessage      "follow" / "share"   2 user · common 8.1 display key
//   WebcastGiftMessage        "gift"               5 repeat · 7 user · 9 repeat end ·
//                                                  15 details
//
// Field 1 of each is the common part (2: message id). A user is 1 numeric id,
// 3 nickname, 38 unique id, 1028 id text. Anything else is ignored.
//
// Pure functions; any thread.
namespace vanteo {

struct DecodedFrame;

// Appends at most one record to frame.messages; the member and room user
// sequence messages also set frame.viewerCount (the last one in a frame
// wins).
void mapRoomMessage(std::string_view method, std::string_view body, DecodedFrame &frame);

// Author fields from a user message: the nickname (else the unique id) and
// the id text (else the numeric id).
void fillUser(std::string_view user, ChatMessage &record);

} // namespace vanteo
