#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Starts the detached helper that relaunches the host once the process `pid`
// has ended (see restart_command.h for its form on each platform). The helper
// outlives the caller. Any thread; the host GUI thread in practice.
namespace vanteo::platform {

// True when the helper started.
bool startRestartHelper(int64_t pid, const std::string &exe, const std::string &dir,
			const std::vector<std::string> &args);

} // namespace vanteo::platform
