#include "common/persisted_switch.h"
#include "hub/chat_dock.h"
#include "common/json.h"
#include "lookup/channel_name.h"
#include "server/demo_events.h"
#include "server/routes.h"

// The routes that change settings and drive the setup wizard.
namespace vanteo {

std::string routeConfig(ChatDock &hub, const std::string &body)
{
	std::string error;
	std::string names[4];
	const char *keys[4] = {"twitch", "tiktok", "youtube", "kick"};
	for (int i = 0; i < 4; ++i) {
		names[i] = normaliseChannelName(jsonField(body, keys[i]), i == 0, error);
		if (!error.empty())
			return errorReply(error);
	}
	hub.setChannels(names[0], names[1], names[2], names[3]);
	hub.saveConfig();
	hub.applyChannels();
	return kReplyOk;
}

std::string routeDemo(ChatDock &hub, const std::string &body)
{
	return runDemo(hub, jsonField(body, "kind"), jsonField(body, "name"));
}

std::string routeSetupDone(ChatDock &hub, const std::string &)
{
	hub.markSetupDone();
	hub.saveConfig();
	hub.publishConfig();
	hub.postToGui([&hub] {
		if (auto hide = hub.windowHooks().hideSetup)
			hide();
	});
	return kReplyOk;
}

std::string routeSetupOpen(ChatDock &hub, const std::string &)
{
	hub.postToGui([&hub] {
		if (auto show = hub.windowHooks().showSetup)
			show();
	});
	return kReplyOk;
}

std::string routeReplayNotify(ChatDock &hub, const std::string &body)
{
	replayNotifySwitch().set(jsonFlagOn(body));
	hub.publishConfig();
	return kReplyOk;
}

std::string routeGame(ChatDock &hub, const std::string &body)
{
	gameCaptureSwitch().set(jsonFlagOn(body));
	hub.publishConfig();
	return kReplyOk;
}

std::string routeFeedConfig(ChatDock &hub, const std::string &body)
{
	hub.setFeedConfig(jsonField(body, "seToken"), jsonNumber(jsonField(body, "adLength")));
	hub.saveConfig();
	hub.publishConfig();
	return kReplyOk;
}

std::string routeHighlightWords(ChatDock &hub, const std::string &body)
{
	hub.setHighlightWords(jsonField(body, "words"));
	hub.saveConfig();
	hub.publishConfig();
	return kReplyOk;
}

// {"on":true|false}: 7TV, BetterTTV and FrankerFaceZ emotes in the chat and
// the picker.
std::string routeThirdPartyEmotes(ChatDock &hub, const std::string &body)
{
	hub.setThirdPartyEmotes(jsonFlagOn(body));
	hub.saveConfig();
	hub.publishConfig();
	return kReplyOk;
}

} // namespace vanteo
