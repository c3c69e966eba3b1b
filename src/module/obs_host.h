#pragma once

#include "common/host.h"

struct obs_module;

namespace vanteo {

// The host seam inside OBS Studio: libobs and obs-frontend-api calls.
class ObsHost : public Host {
public:
	explicit ObsHost(obs_module *module) : m_module(module) {}
	std::string configPath(const std::string &file) const override;
	std::string dataPath(const std::string &file) const override;
	QWidget *mainWindow() const override;
	bool outputsActive() const override;
	bool streamingOrRecording() const override;
	std::string locale() const override;
	QCef *createBrowserFactory() const override;
	bool openUrl(const std::string &url) const override;

private:
	obs_module *m_module;
};

} // namespace vanteo
