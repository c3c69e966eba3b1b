// vanteo-devhost: the hub and its local server outside OBS Studio, so that
// the pages can be opened in any browser during development and tests.
//
//   vanteo-devhost --config-dir DIR [--web-dir DIR] [--port N] [--no-browser]
//
// Prints "ready port=<port> token=<token>" once the server listens; log
// lines go to standard error. SIGINT or SIGTERM shut it down in order.
// Addresses the plug-in opens in the user's browser (the Setup page, release
// pages) are written to standard error as "open <url>"; with --no-browser
// that is all that happens to them.
//
// Lines on standard input of the form "<event> <json>" are sent to the pages
// as that event, so the parts of the pages fed by a Twitch account (polls,
// predictions, pins, AutoMod holds) can be seen without one. "highlight"
// goes through the hub like a real one, so later pages get it too.

#include "hub/chat_dock.h"
#include "module/browser_panels.h"
#include "server/router.h"
#include "common/host.h"
#include "platform/open_url.h"

#include <util/base.h>
#include <util/platform.h>

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

class DevHost : public vanteo::Host {
public:
	DevHost(std::string configDir, std::string webDir, bool openBrowser)
		: m_configDir(std::move(configDir)), m_webDir(std::move(webDir)), m_openBrowser(openBrowser)
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
	bool openUrl(const std::string &url) const override
	{
		fprintf(stderr, "open %s\n", url.c_str());
		return m_openBrowser ? vanteo::platform::openUrl(url) : true;
	}

private:
	std::string m_configDir;
	std::string m_webDir;
	bool m_openBrowser;
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

// Reads what standard input has and hands every complete line on.
class EventInput {
public:
	explicit EventInput(vanteo::ChatDock **hub) : m_hub(hub), m_notifier(STDIN_FILENO, QSocketNotifier::Read)
	{
		QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { readSome(); });
	}

private:
	void readSome()
	{
		char buffer[4096];
		ssize_t n = read(STDIN_FILENO, buffer, sizeof(buffer));
		if (n < 0 && (errno == EAGAIN || errno == EINTR))
			return;
		if (n <= 0) {
			m_notifier.setEnabled(false); // closed (or /dev/null): nothing more will come
			return;
		}
		m_pending.append(buffer, static_cast<size_t>(n));
		for (size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
			std::string line = m_pending.substr(0, end);
			m_pending.erase(0, end + 1);
			send(line);
		}
	}

	void send(const std::string &line)
	{
		size_t space = line.find(' ');
		if (!*m_hub || space == std::string::npos || space == 0)
			return;
		const std::string event = line.substr(0, space);
		const std::string data = line.substr(space + 1);
		if (event == "highlight")
			(*m_hub)->onHighlight(data);
		else
			(*m_hub)->broadcast(event, data);
	}

	vanteo::ChatDock **m_hub;
	QSocketNotifier m_notifier;
	std::string m_pending;
};

int usage()
{
	fprintf(stderr, "usage: vanteo-devhost --config-dir DIR [--web-dir DIR] [--port N] [--no-browser]\n");
	return 2;
}

} // namespace

int main(int argc, char **argv)
{
	std::string configDir;
	std::string webDir = VANTEO_DEFAULT_WEB_DIR;
	long port = 18763;
	bool openBrowser = true;
	for (int i = 1; i < argc; ++i) {
		std::string arg = argv[i];
		if (arg == "--no-browser") {
			openBrowser = false;
			continue;
		}
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
	DevHost host(configDir, webDir, openBrowser);
	vanteo::setHost(&host);

	if (pipe(g_signalPipe) != 0)
		return 1;
	struct sigaction action {};
	action.sa_handler = onSignal;
	sigaction(SIGINT, &action, nullptr);
	sigaction(SIGTERM, &action, nullptr);

	vanteo::ChatDock::Options options;
	options.firstPort = static_cast<uint16_t>(port);
	options.controlApi = vanteo::handleApiRequest;
	auto *hub = new vanteo::ChatDock(options);
	if (hub->port() == 0) {
		fprintf(stderr, "vanteo-devhost: no free port from %ld\n", port);
		delete hub;
		return 1;
	}
	// Without an embedded browser, the Setup page the pages ask for opens in
	// the user's browser, as in OBS Studio without page views.
	auto panels = std::make_unique<vanteo::BrowserPanels>(*hub);
	printf("ready port=%u token=%s\n", hub->port(), hub->token().c_str());
	fflush(stdout);

	EventInput events(&hub);
	QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
	QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
		notifier.setEnabled(false);
		panels.reset();
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
