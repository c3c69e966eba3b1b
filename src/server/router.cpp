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
    {"/api/highlight-words", routeHighlightWords},
    {"/api/third-party-emotes", routeThirdPartyEmotes},
    {"/api/se", routeStreamElements},
    {"/api/account", routeAccount},
    {"/api/token", routeToken},
};

RouteHandler findRoute(const std::string &path)
{
	for (const Route &route : kOpenRoutes) {
		if (path == route.path)
			return route.handler;
	}
	return nullptr;
}

} // namespace

std::string handleApiRequest(ChatDock &hub, const std::string &path, const std::string &body)
{
	if (RouteHandler handler = findRoute(path))
		return handler(hub, body);
	return routeAccountBound(hub, path, body);
}

} // namespace vanteo
