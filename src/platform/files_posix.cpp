#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vanteo::platform {

bool prepareOwnerOnlyFile(const std::string &path)
{
	int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
	if (fd < 0)
		return false;
	bool ok = fchmod(fd, 0600) == 0;
	close(fd);
	return ok;
}

bool restrictToOwner(const std::string &path)
{
	return chmod(path.c_str(), 0600) == 0;
}

} // namespace vanteo::platform
