#include "platform/restart_command.h"

namespace vanteo::platform {

DetachedCommand restartCommand(int64_t pid, const std::string &exe, const std::string &dir,
			       const std::vector<std::string> &args)
{
	return shellRestart(pid, exe, dir, args);
}

} // namespace vanteo::platform
