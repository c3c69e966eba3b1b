#pragma once

#include <string>

namespace vanteo::platform {

// Opens an address in the user's default browser without waiting for it.
// The address is handed over as one argument, never through a shell.
bool openUrl(const std::string &url);

} // namespace vanteo::platform
