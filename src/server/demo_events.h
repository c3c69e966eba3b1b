#pragma once

#include "feed/chat_message.h"

#include <cstdint>
#include <string>

// Made-up feed items, so that a streamer can see how each kind looks.
namespace vanteo {

class ChatDock;

// The demo chat item of `kind` ("sub", "resub", "subgift", "submysterygift",
// "raid", "cheer", "ttgift", "ttfollow", "ttshare"); false for other kinds.
bool demoMessage(const std::string &kind, const std::string &name, int64_t nowMs, ChatMessage &out);

// The demo follow activity JSON.
std::string demoFollowJson(const std::string &name);

// Runs "/api/demo": broadcasts the item and returns the reply.
std::string runDemo(ChatDock &hub, const std::string &kind, const std::string &name);

} // namespace vanteo
