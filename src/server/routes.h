#pragma once

#include <string>

// The handlers of the control API, one per path, grouped in files by
// category. Each runs on the server connection thread of its request, takes
// the hub lock only through the hub's own operations, and returns one JSON
// reply text. Anything that touches widgets is posted to the GUI thread.
namespace vanteo {

class ChatDock;

using RouteHandler = std::string (*)(ChatDock &hub, const std::string &body);

extern const char kReplyOk[]; // {"ok":true}

// router_settings.cpp
std::string routeConfig(ChatDock &hub, const std::string &body);
std::string routeDemo(ChatDock &hub, const std::string &body);
std::string routeSetupDone(ChatDock &hub, const std::string &body);
std::string routeSetupOpen(ChatDock &hub, const std::string &body);
std::string routeReplayNotify(ChatDock &hub, const std::string &body);
std::string routeGame(ChatDock &hub, const std::string &body);
std::string routeFeedConfig(ChatDock &hub, const std::string &body);
std::string routeHighlightWords(ChatDock &hub, const std::string &body);
std::string routeThirdPartyEmotes(ChatDock &hub, const std::string &body);

// router_update.cpp
std::string routeUpdate(ChatDock &hub, const std::string &body);

// profile_check_cache.cpp
std::string routeCheck(ChatDock &hub, const std::string &body);

// router_account.cpp
std::string routeAccount(ChatDock &hub, const std::string &body);
std::string routeToken(ChatDock &hub, const std::string &body);
// Every path past the open routes: the account gate, then the route.
std::string routeAccountBound(ChatDock &hub, const std::string &path, const std::string &body);

// se_proxy.cpp
std::string routeStreamElements(ChatDock &hub, const std::string &body);

} // namespace vanteo
