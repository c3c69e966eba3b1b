#include "server/router.h"

#include "hub/chat_dock.h"
#include "server/routes.h"

#include <cstring>

namespace vanteo {

const char kReplyOk[] = "{\"ok\":true}";

namespace {

struct Route {
	const char *path;
	RouteHandler handler;
};

// Routes that need no Twitch account, in the order they are tried. The paths
// are exact: no trailing slash, the query already removed by the server.
const Route kOpenRoutes[] = {
    {"/api/update", routeUpdate},
    {"/api/config", routeConfig},
    {"/api/demo", routeDemo},
    {"/api/setup-done", routeSetupDone},
    {"/api/check", routeCheck},
    {"/api/setup-open", routeSetupOpen},
    {"/api/replay-notify", routeReplayNotify},
    {"/api/game", routeGame},
    {"/api/feed-config", routeFeedConfig},
    {"/api/se", routeStreamElements},
};

RouteHandler findRoute(const std::string &path)
{
	for (const Route &route : kOpenRoutes) {
		if (path == route.path)
			return route.handler;
	}
	return nullptr;
}

// Every path past the open routes ("/api/send", "/api/emotes", "/api/user",
// "/api/open", "/api/feed-history", "/api/ads", "/api/chatters",
// "/api/automod", "/api/moderate" and any path nobody knows) needs a
// connected Twitch account first.
std::string accountGate(ChatDock &hub, const std::string &)
{
	if (hub.account().token.empty())
		return "{\"error\":\"Connect the Twitch account first\"}";
	return "{\"error\":\"Unknown request\"}";
}

} // namespace

std::string handleApiRequest(ChatDock &hub, const std::string &path, const std::string &body)
{
	if (RouteHandler handler = findRoute(path))
		return handler(hub, body);
	return accountGate(hub, path);
}

} // namespace vanteo
