#include "hub/chat_dock.h"
#include "common/endpoints.h"
#include "common/json.h"
#include "common/host.h"
#include "server/routes.h"

// "/api/update": the Updates page reads the updater's state and asks for its
// actions here.
namespace vanteo {

namespace {

// The public release pages, on the GitHub web host of the endpoint table.
std::string releasePage(const std::string &action)
{
	const char *path = action == "download" ? "Pellorra/vanteo-releases/releases/latest"
						: "Pellorra/vanteo-releases/releases";
	return endpoint(endpoint_names::kGitHubWeb).httpsRoot() + path;
}

} // namespace

std::string routeUpdate(ChatDock &hub, const std::string &body)
{
	const std::string action = jsonField(body, "action");
	if (action == "state")
		return hub.updateStatusJson();
	if (action == "download" || action == "releases") {
		// Starting the browser goes through the desktop services, which
		// belong to the GUI thread.
		const std::string url = releasePage(action);
		hub.postToGui([url] { openInBrowser(url); });
		return kReplyOk;
	}
	// "close" and the updater's own words ("restart", "update") act on
	// widgets or the host: they run on the GUI thread, after the reply.
	hub.postToGui([&hub, action] {
		if (action != "close")
			hub.runUpdateAction(action);
		else if (auto hide = hub.windowHooks().hideUpdates)
			hide();
	});
	return kReplyOk;
}

} // namespace vanteo
