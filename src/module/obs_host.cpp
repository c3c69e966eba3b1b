#include "module/obs_host.h"

#include "module/qcef_loader.h"
#include "platform/open_url.h"

#include <obs-frontend-api.h>
#include <obs-module.h>
#include <obs.h>

#include <QWidget>

namespace vanteo {

namespace {
std::string takeString(char *text)
{
	std::string result = text ? text : "";
	bfree(text);
	return result;
}
} // namespace

std::string ObsHost::configPath(const std::string &file) const
{
	return m_module ? takeString(obs_module_get_config_path(m_module, file.c_str())) : std::string();
}

std::string ObsHost::dataPath(const std::string &file) const
{
	return m_module ? takeString(obs_find_module_file(m_module, file.c_str())) : std::string();
}

QWidget *ObsHost::mainWindow() const
{
	return static_cast<QWidget *>(obs_frontend_get_main_window());
}

bool ObsHost::outputsActive() const
{
	return obs_frontend_streaming_active() || obs_frontend_recording_active() ||
	       obs_frontend_replay_buffer_active() || obs_frontend_virtualcam_active();
}

bool ObsHost::streamingOrRecording() const
{
	return obs_frontend_streaming_active() || obs_frontend_recording_active();
}

QCef *ObsHost::createBrowserFactory() const
{
	// obs-browser where OBS Studio has it; the plug-in's own views where it
	// does not (distribution builds).
	if (QCef *factory = loadBrowserFactory())
		return factory;
	return loadWebViewFactory(configPath("webview"));
}

bool ObsHost::openUrl(const std::string &url) const
{
	return platform::openUrl(url);
}

std::string ObsHost::locale() const
{
	const char *name = obs_get_locale();
	return name ? name : "en-US";
}

} // namespace vanteo
