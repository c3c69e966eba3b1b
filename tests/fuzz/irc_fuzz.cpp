// One chat line all the way to the JSON the pages receive: the parser and
// both record builders must stay within their buffers and never throw.
#include "feed/chat_message.h"
#include "twitch/irc_message.h"
#include "twitch/irc_records.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	using namespace vanteo;
	std::string_view line(reinterpret_cast<const char *>(data), size);
	IrcMessage message = parseIrcLine(line);

	// Copies re-point their views; read every part of the copy so that a
	// view left pointing into the original is caught.
	IrcMessage copy(message);
	message = IrcMessage();
	size_t total = 0;
	auto touch = [&total](std::string_view view) {
		for (char ch : view)
			total += static_cast<unsigned char>(ch);
	};
	touch(copy.prefix);
	touch(copy.command);
	touch(copy.trailing);
	for (const IrcTag &tag : copy.tags) {
		touch(tag.key);
		touch(tag.value);
	}
	for (std::string_view param : copy.params)
		touch(param);

	std::string a = messageToJson(fromPrivmsg(copy));
	std::string b = messageToJson(fromUsernotice(copy));
	std::string c = clearEventJson(Platform::Twitch, tagOr(copy, "target-msg-id", ""),
				       tagOr(copy, "target-user-id", ""), tagOr(copy, "login", ""),
				       tagOr(copy, "ban-duration", ""));
	if (a.empty() || b.empty() || c.empty() || total == SIZE_MAX)
		__builtin_trap();
	return 0;
}
