#include "youtube/youtube_chat.h"

#include <cstring>

namespace vanteo {

namespace {

// The value of `"key":"..."` at its first place in the page, when it is made
// only of `allowed` characters and not longer than `limit`; "" otherwise.
// What is read here goes into paths and request bodies as it is.
std::string quotedValue(const std::string &page, const char *key, const char *allowed, size_t limit)
{
	const std::string opening = std::string("\"") + key + "\":\"";
	const size_t at = page.find(opening);
	if (at == std::string::npos)
		return std::string();
	const size_t begin = at + opening.size();
	const size_t end = page.find('"', begin);
	if (end == std::string::npos || end == begin || end - begin > limit)
		return std::string();
	std::string value = page.substr(begin, end - begin);
	return value.find_first_not_of(allowed) == std::string::npos ? value : std::string();
}

const char kTokenChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-%=";
const char kDigits[] = "0123456789";

} // namespace

std::string youTubeLivePath(const std::string &handle)
{
	return "/@" + handle + "/live";
}

YouTubeLivePage readYouTubeLivePage(const std::string &html)
{
	YouTubeLivePage page;
	page.apiKey = quotedValue(html, "INNERTUBE_API_KEY", kTokenChars, 100);
	page.clientVersion = quotedValue(html, "INNERTUBE_CLIENT_VERSION", "0123456789.", 40);
	// The live chat's first continuation ("top chat"); a page without a
	// live stream has no chat and so none.
	const char chat[] = "\"liveChatRenderer\":{\"continuations\":[{\"reloadContinuationData\":{";
	const size_t at = html.find(chat);
	if (at != std::string::npos)
		page.continuation =
		    quotedValue(html.substr(at + std::strlen(chat), 4096), "continuation", kTokenChars, 2000);
	page.videoId =
	    quotedValue(html, "videoId", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-", 16);
	const std::string viewers = quotedValue(html, "originalViewCount", kDigits, 12);
	if (!viewers.empty())
		page.viewers = std::stoll(viewers);
	page.live = !page.apiKey.empty() && !page.clientVersion.empty() && !page.continuation.empty();
	return page;
}

std::string youTubeChatPath(const std::string &apiKey)
{
	return "/youtubei/v1/live_chat/get_live_chat?key=" + apiKey + "&prettyPrint=false";
}

std::string youTubeChatRequest(const std::string &clientVersion, const std::string &continuation)
{
	// Both were checked to need no escaping when they were read.
	return "{\"context\":{\"client\":{\"clientName\":\"WEB\",\"clientVersion\":\"" + clientVersion +
	       "\"}},\"continuation\":\"" + continuation + "\"}";
}

} // namespace vanteo
