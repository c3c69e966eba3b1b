// The module's exported entry points. Everything they do lives in the core
// library (module/lifecycle.cpp), so that tests can drive it without OBS.

#include "common/host.h"
#include "module/lifecycle.h"
#include "module/obs_host.h"

#include <obs-module.h>
#include <util/text-lookup.h>

#include <memory>

namespace {
obs_module_t *g_module = nullptr;
lookup_t *g_locale = nullptr;
std::unique_ptr<vanteo::ObsHost> g_host;
} // namespace

extern "C" {

MODULE_EXPORT void obs_module_set_pointer(obs_module_t *module)
{
	g_module = module;
}

obs_module_t *obs_current_module(void)
{
	return g_module;
}

// The libobs API level the plug-in declares (30.0.2).
MODULE_EXPORT uint32_t obs_module_ver(void)
{
	return 0x1e000002;
}

MODULE_EXPORT const char *obs_module_name(void)
{
	return "Vanteo";
}

MODULE_EXPORT const char *obs_module_description(void)
{
	return "Unified chat and activity (Twitch, TikTok, and more) in two OBS docks";
}

MODULE_EXPORT void obs_module_set_locale(const char *locale)
{
	if (g_locale)
		text_lookup_destroy(g_locale);
	g_locale = obs_module_load_locale(g_module, "en-US", locale);
}

MODULE_EXPORT void obs_module_free_locale(void)
{
	text_lookup_destroy(g_locale);
	g_locale = nullptr;
}

MODULE_EXPORT bool obs_module_get_string(const char *val, const char **out)
{
	return text_lookup_getstr(g_locale, val, out);
}

MODULE_EXPORT bool obs_module_load(void)
{
	g_host = std::make_unique<vanteo::ObsHost>(g_module);
	vanteo::setHost(g_host.get());
	return vanteo::pluginLoad(vanteo::resolveDockApi());
}

MODULE_EXPORT void obs_module_unload(void)
{
	vanteo::pluginUnload();
	vanteo::setHost(nullptr);
	g_host.reset();
}

} // extern "C"
