#pragma once

#include <string>

// The control API: one JSON reply for every POST under "/api/". Runs on the
// server connection thread of the request; anything that touches widgets is
// posted to the GUI thread and not waited for.
namespace vanteo {

class ChatDock;

std::string handleApiRequest(ChatDock &hub, const std::string &path, const std::string &body);

} // namespace vanteo
