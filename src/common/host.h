#pragma once

#include <string>

class QWidget;
struct QCef;

// The few module-wide facts that the rest of the plug-in needs from whoever
// hosts it: OBS Studio (ObsHost) or the developer host and tests (a plain
// object). Everything else of libobs (obs_data_*, blog, os_*) is used
// directly, since it works in any process linked with libobs.
namespace vanteo {

class Host {
public:
	virtual ~Host() = default;
	// Path of a file in the plug-in's configuration folder; "" when the host
	// has none. An empty name gives the folder itself.
	virtual std::string configPath(const std::string &file) const = 0;
	// Path of a file or folder in the plug-in's data folder; "" when absent.
	virtual std::string dataPath(const std::string &file) const = 0;
	// The host's main window, or nullptr.
	virtual QWidget *mainWindow() const = 0;
	// Streaming, recording, replay buffer or virtual camera active.
	virtual bool outputsActive() const = 0;
	// Streaming or recording only (the updater opens no dialog by itself
	// then, while a running replay buffer alone does not hold it back).
	virtual bool streamingOrRecording() const { return outputsActive(); }
	// The host's interface language, such as "en-US".
	virtual std::string locale() const = 0;
	// A new embedded-browser factory (the caller owns it), or nullptr when
	// the host has no embedded browser. GUI thread only.
	virtual QCef *createBrowserFactory() const { return nullptr; }
	// Opens an address in the user's default browser without waiting.
	virtual bool openUrl(const std::string &url) const = 0;
};

// The current host. Installed by the module entry (or the developer host)
// before the hub is created and removed after it is gone; owned by whoever
// installs it.
Host *host();
void setHost(Host *host);

// Helpers over host(): the configuration folder is created on demand.
std::string configFilePath(const std::string &file);
bool ensureConfigFolder();
// Host::openUrl of the current host; false without a host.
bool openInBrowser(const std::string &url);

} // namespace vanteo
