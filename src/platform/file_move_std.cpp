#include "platform/file_move.h"

#include <cstdio>
#include <cerrno>

namespace vanteo::platform {

bool moveReplacing(const std::string &from, const std::string &to)
{
	return std::rename(from.c_str(), to.c_str()) == 0;
}

bool removeFile(const std::string &path)
{
	return std::remove(path.c_str()) == 0 || errno == ENOENT;
}

std::string nativeSeparators(const std::string &path)
{
	return path;
}

} // namespace vanteo::platform
