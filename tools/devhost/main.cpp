// vanteo-devhost: the hub and its local server outside OBS Studio, so that
// the pages can be opened in any browser during development and tests.
//
//   vanteo-devhost --config-dir DIR [--web-dir DIR] [--port N]
//
// Prints "ready port=<port> token=<token>" once the server listens; log
// lines go to standard error. SIGINT or SIGTERM shut it down in order.

#include "hub/chat_dock.h"
#include "module/host.h"

#include <util/base.h>
#include <util/platform.h>

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

class DevHost : public vanteo::Host {
public:
	DevHost(std::string configDir, std::string webDir)
		: m_configDir(std::move(configDir)), m_webDir(std::move(webDir))
	{
	}
	std::string configPath(const std::string &file) const override
	{
		return file.empty() ? m_configDir : m_configDir + "/" + file;
	}
	std::string dataPath(const std::string &file) const override
	{
		if (file == "web")
			return m_webDir;
		return std::string();
	}
	QWidget *mainWindow() const override { return nullptr; }
	bool outputsActive() const override { return false; }
	std::string locale() const override { return "en-US"; }

private:
	std::string m_configDir;
	std::string m_webDir;
};

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
	char c = 1;
	ssize_t ignored = write(g_signalPipe[1], &c, 1);
	(void)ignored;
}

void logToStderr(int level, const char *format, va_list args, void *)
{
	const char *name = level <= LOG_ERROR ? "error" : level <= LOG_WARNING ? "warning" : "info";
	fprintf(stderr, "%s: ", name);
	vfprintf(stderr, format, args);
	fputc('\n', stderr);
}

int usage()
{
	fprintf(stderr, "usage: vanteo-devhost --config-dir DIR [--web-dir DIR] [--port N]\n");
	return 2;
}

} // namespace

int main(int argc, char **argv)
{
	std::string configDir;
	std::string webDir = VANTEO_DEFAULT_WEB_DIR;
	long port = 18763;
	for (int i = 1; i < argc; ++i) {
		std::string arg = argv[i];
		if (i + 1 >= argc)
			return usage();
		if (arg == "--config-dir")
			configDir = argv[++i];
		else if (arg == "--web-dir")
			webDir = argv[++i];
		else if (arg == "--port")
			port = std::strtol(argv[++i], nullptr, 10);
		else
			return usage();
	}
	if (configDir.empty() || port < 1 || port > 65535)
		return usage();

	setenv("QT_QPA_PLATFORM", "offscreen", 0);
	base_set_log_handler(logToStderr, nullptr);
	QApplication app(argc, argv);

	os_mkdirs(configDir.c_str());
	DevHost host(configDir, webDir);
	vanteo::setHost(&host);

	if (pipe(g_signalPipe) != 0)
		return 1;
	struct sigaction action {};
	action.sa_handler = onSignal;
	sigaction(SIGINT, &action, nullptr);
	sigaction(SIGTERM, &action, nullptr);

	vanteo::ChatDock::Options options;
	options.firstPort = static_cast<uint16_t>(port);
	auto *hub = new vanteo::ChatDock(options);
	if (hub->port() == 0) {
		fprintf(stderr, "vanteo-devhost: no free port from %ld\n", port);
		delete hub;
		return 1;
	}
	printf("ready port=%u token=%s\n", hub->port(), hub->token().c_str());
	fflush(stdout);

	QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
	QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
		notifier.setEnabled(false);
		hub->shutdown();
		delete hub;
		hub = nullptr;
		app.quit();
	});
	int rc = app.exec();
	delete hub;
	vanteo::setHost(nullptr);
	return rc;
}
