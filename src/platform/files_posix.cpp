#include "platform/files.h"

#include <cerrno>
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

bool readRegularFile(const std::string &path, std::string &out, size_t maxBytes)
{
	out.clear();
	// O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
	// writer. The type is checked on the opened file, not on the name.
	int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
	if (fd < 0)
		return false;
	struct stat st {};
	bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) <= maxBytes;
	if (ok) {
		out.reserve(static_cast<size_t>(st.st_size));
		char buffer[16384];
		for (;;) {
			ssize_t n = read(fd, buffer, sizeof(buffer));
			if (n < 0 && errno == EINTR)
				continue;
			if (n < 0 || out.size() + static_cast<size_t>(n) > maxBytes) {
				ok = false;
				break;
			}
			if (n == 0)
				break;
			out.append(buffer, static_cast<size_t>(n));
		}
	}
	close(fd);
	if (!ok)
		out.clear();
	return ok;
}

} // namespace vanteo::platform
