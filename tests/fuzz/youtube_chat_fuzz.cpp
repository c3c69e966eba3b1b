// The YouTube live chat answer and live page readers: any text must give
// records the pages can take and tokens that are safe to send back as they
// are.
#include "youtube/youtube_chat.h"
#include "quiet_log.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

const char kSafe[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-%=";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	using namespace vanteo;
	const std::string body(reinterpret_cast<const char *>(data), size);
	const YouTubeChatAnswer a = readYouTubeChatAnswer(body);
	if (!a.ok && (!a.records.empty() || !a.removals.empty() || !a.continuation.empty()))
		__builtin_trap();
	if (a.continuation.find_first_not_of(kSafe) != std::string::npos || (a.ok && a.ended != a.continuation.empty()))
		__builtin_trap();
	if (a.records.size() > kMaxYouTubeActions || a.timeoutMs < 0)
		__builtin_trap();
	for (const ChatMessage &m : a.records) {
		if (m.platform != Platform::YouTube || m.name.empty() || messageToJson(m).empty())
			__builtin_trap();
		for (const EmoteSpan &e : m.emotes)
			if (e.start < 0 || e.end < e.start || e.url.compare(0, 8, "https://") != 0)
				__builtin_trap();
	}
	const YouTubeLivePage page = readYouTubeLivePage(body);
	if (page.live && (page.apiKey.find_first_not_of(kSafe) != std::string::npos ||
			  page.clientVersion.find_first_not_of("0123456789.") != std::string::npos ||
			  page.continuation.find_first_not_of(kSafe) != std::string::npos))
		__builtin_trap();
	return 0;
}
