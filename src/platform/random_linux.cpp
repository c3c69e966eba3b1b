#include "platform/random.h"

#include <cerrno>
#include <sys/random.h>

namespace vanteo::platform {

bool secureRandomBytes(unsigned char *buffer, size_t size)
{
	size_t filled = 0;
	while (filled < size) {
		ssize_t n = getrandom(buffer + filled, size - filled, 0);
		if (n < 0) {
			if (errno == EINTR)
				continue;
			return false;
		}
		filled += static_cast<size_t>(n);
	}
	return true;
}

} // namespace vanteo::platform
