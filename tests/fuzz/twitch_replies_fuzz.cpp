// Replies of Twitch and of the channel sites as the plug-in reads them:
// EventSub messages, Helix error and list bodies, emote pages and owner
// answers, and the og tags of channel pages.

#include "lookup/profile_check.h"
#include "twitch/emotes.h"
#include "twitch/eventsub.h"
#include "twitch/helix.h"
#include "twitch/moderation.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const std::string text(reinterpret_cast<const char *>(data), size);
	size_t outputs = 0;
	auto count = [&](const std::string &json) {
		outputs += json.size();
	};
	vanteo::dispatchNotification(
	    text, [&](const vanteo::HeldMessage &held) { count(vanteo::heldMessageJson(held)); }, count, count);
	vanteo::helixError(text, 400);
	vanteo::joinNames(text);
	vanteo::quoteSimple(text);

	vanteo::EmoteCatalog emotes;
	emotes.addPage(text, "");
	emotes.addPage(text, "channel");
	emotes.addOwners(text);
	emotes.json();

	vanteo::ogMeta(text, "og:title");
	vanteo::ogMeta(text, "og:image");
	return outputs == SIZE_MAX;
}
