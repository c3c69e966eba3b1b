#include "common/host.h"

#include <util/platform.h>

#include <atomic>

namespace vanteo {

namespace {
std::atomic<Host *> g_host{nullptr};
}

Host *host()
{
	return g_host.load();
}

void setHost(Host *h)
{
	g_host.store(h);
}

bool openInBrowser(const std::string &url)
{
	Host *h = host();
	return h && h->openUrl(url);
}

std::string configFilePath(const std::string &file)
{
	Host *h = host();
	return h ? h->configPath(file) : std::string();
}

bool ensureConfigFolder()
{
	std::string folder = configFilePath("");
	if (folder.empty())
		return false;
	return os_mkdirs(folder.c_str()) != MKDIR_ERROR;
}

} // namespace vanteo
