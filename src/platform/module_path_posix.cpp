#include "platform/module_path.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

namespace vanteo::platform {

const char kLibraryExtension[] = ".so";

std::string moduleLibraryPath()
{
	// Any address inside this library names it; the core is linked into the
	// module, so this is vanteo.so inside OBS and the program in tests.
	Dl_info info{};
	if (!dladdr(reinterpret_cast<void *>(&moduleLibraryPath), &info) || !info.dli_fname)
		return std::string();
	char resolved[PATH_MAX];
	if (realpath(info.dli_fname, resolved))
		return resolved;
	return info.dli_fname;
}

} // namespace vanteo::platform
