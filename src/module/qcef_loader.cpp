#include "module/qcef.h"

#include <obs.h>
#include <util/platform.h>

namespace vanteo {

QCef *loadBrowserFactory()
{
	// obs_get_module walks the core's module list; without a running core
	// (developer host, tests) there is nothing to walk.
	if (!obs_initialized())
		return nullptr;
	obs_module_t *module = obs_get_module("obs-browser");
	if (!module)
		return nullptr;
	void *library = obs_get_module_lib(module);
	if (!library)
		return nullptr;
	using CreateFactory = QCef *(*)(void);
	auto create = reinterpret_cast<CreateFactory>(os_dlsym(library, "obs_browser_create_qcef"));
	return create ? create() : nullptr;
}

} // namespace vanteo
