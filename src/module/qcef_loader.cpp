#include "module/qcef_loader.h"

#include "common/log.h"
#include "common/host.h"
#include "platform/module_path.h"
#include "webview/webview_api.h"

#include <obs.h>
#include <util/base.h>
#include <util/platform.h>

namespace vanteo {

namespace {

void webViewLog(int level, const char *text)
{
	logLine(level, "%s", text);
}

void webViewOpenExternal(const char *url)
{
	openInBrowser(url);
}

} // namespace

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

QCef *loadWebViewFactory(const std::string &storageFolder)
{
	// Loaded once and never unloaded: its widgets and Qt WebEngine live
	// until the process ends.
	static void *library = nullptr;
	if (!library) {
		const std::string module = platform::moduleLibraryPath();
		const size_t slash = module.find_last_of("/\\");
		if (slash == std::string::npos)
			return nullptr;
		const std::string path = module.substr(0, slash + 1) + "vanteo-webview" + platform::kLibraryExtension;
		if (!os_file_exists(path.c_str())) {
			logLine(LOG_INFO, "page views: %s is not installed", path.c_str());
			return nullptr;
		}
		// os_dlopen logs the loader's reason when it fails (for example
		// no Qt WebEngine on this system).
		library = os_dlopen(path.c_str());
		if (!library) {
			logLine(LOG_WARNING, "page views: %s could not be loaded", path.c_str());
			return nullptr;
		}
	}
	auto create = reinterpret_cast<VanteoWebViewCreate>(os_dlsym(library, VANTEO_WEBVIEW_ENTRY));
	if (!create)
		return nullptr;
	const VanteoWebViewHooks hooks{storageFolder.c_str(), webViewLog, webViewOpenExternal};
	QCef *factory = create(&hooks);
	if (factory)
		logLine(LOG_INFO, "page views: Qt WebEngine");
	return factory;
}

} // namespace vanteo
