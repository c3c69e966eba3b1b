#include "server/router.h"

#include "gamecapture/game_capture_switch.h"
#include "hub/chat_dock.h"
#include "hub/json.h"
#include "lookup/channel_name.h"
#include "replaynotify/replay_notify_switch.h"
#include "server/demo_events.h"

#include <functional>
#include <map>

namespace vanteo {

namespace {

const char kOk[] = "{\"ok\":true}";

std::string routeConfig(ChatDock &hub, const std::string &body)
{
	std::string error;
	std::string names[4];
	const char *keys[4] = {"twitch", "tiktok", "youtube", "kick"};
	for (int i = 0; i < 4; ++i) {
		names[i] = normaliseChannelName(jsonField(body, keys[i]), i == 0, error);
		if (!error.empty())
			return "{\"error\":" + jsonQuote(error) + "}";
	}
	hub.setChannels(names[0], names[1], names[2], names[3]);
	hub.saveConfig();
	hub.applyChannels();
	return kOk;
}

std::string routeSetupDone(ChatDock &hub, const std::string &)
{
	hub.markSetupDone();
	hub.saveConfig();
	hub.publishConfig();
	hub.postToGui([&hub] { hub.hideSetup(); });
	return kOk;
}

std::string routeFeedConfig(ChatDock &hub, const std::string &body)
{
	hub.setFeedConfig(jsonField(body, "seToken"), jsonNumber(jsonField(body, "adLength")));
	hub.saveConfig();
	hub.publishConfig();
	return kOk;
}

std::string routeGame(ChatDock &hub, const std::string &body)
{
	setGameCaptureEnabled(jsonFlagOn(body));
	hub.publishConfig();
	return kOk;
}

std::string routeReplayNotify(ChatDock &hub, const std::string &body)
{
	setReplayNotifyEnabled(jsonFlagOn(body));
	hub.publishConfig();
	return kOk;
}

std::string routeDemo(ChatDock &hub, const std::string &body)
{
	return runDemo(hub, jsonField(body, "kind"), jsonField(body, "name"));
}

// Everything past the account-free routes needs a connected Twitch account.
std::string accountGate(ChatDock &hub, const std::string &)
{
	if (hub.account().token.empty())
		return "{\"error\":\"Connect the Twitch account first\"}";
	return "{\"error\":\"Unknown request\"}";
}

using Route = std::function<std::string(ChatDock &, const std::string &)>;

const std::map<std::string, Route> &routes()
{
	static const std::map<std::string, Route> table = {
		{"/api/config", routeConfig},
		{"/api/demo", routeDemo},
		{"/api/setup-done", routeSetupDone},
		{"/api/replay-notify", routeReplayNotify},
		{"/api/game", routeGame},
		{"/api/feed-config", routeFeedConfig},
	};
	return table;
}

} // namespace

std::string handleApiRequest(ChatDock &hub, const std::string &path, const std::string &body)
{
	auto route = routes().find(path);
	if (route != routes().end())
		return route->second(hub, body);
	return accountGate(hub, path);
}

} // namespace vanteo
