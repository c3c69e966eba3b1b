// A chat line's cost in our process, without the network: line -> IrcMessage
// -> record -> the hub (third-party emotes, JSON, recent history, the burst's
// held event frames), fifty lines to a burst as in a busy chat's WebSocket
// messages. chat_bench.mjs measures the whole path with the sockets; this
// one is steadier when two builds are compared.
#include "common/burst.h"
#include "common/host.h"
#include "hub/chat_dock.h"
#include "twitch/irc_message.h"
#include "twitch/irc_records.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace vanteo;

constexpr size_t kLinesPerMessage = 50;

class BenchHost : public Host {
public:
	explicit BenchHost(std::string dir) : m_dir(std::move(dir)) {}
	std::string configPath(const std::string &file) const override
	{
		return file.empty() ? m_dir : m_dir + "/" + file;
	}
	std::string dataPath(const std::string &) const override { return std::string(); }
	QWidget *mainWindow() const override { return nullptr; }
	bool outputsActive() const override { return false; }
	std::string locale() const override { return "en-US"; }
	bool openUrl(const std::string &) const override { return true; }

private:
	std::string m_dir;
};

std::vector<std::string> chatLines()
{
	std::ifstream in(VANTEO_IRC_CORPUS);
	std::vector<std::string> out;
	for (std::string line; std::getline(in, line);) {
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		if (line.find(" PRIVMSG #") != std::string::npos)
			out.push_back(line);
	}
	return out;
}

void BM_HubLine(benchmark::State &state)
{
	const std::vector<std::string> lines = chatLines();
	if (lines.empty()) {
		state.SkipWithError("empty or missing corpus");
		return;
	}
	char dir[] = "/tmp/vanteo-hub-bench-XXXXXX";
	if (!mkdtemp(dir)) {
		state.SkipWithError("no temporary folder");
		return;
	}
	BenchHost host(dir);
	setHost(&host);
	{
		ChatDock::Options options;
		options.firstPort = 29900;
		ChatDock hub(options);
		size_t n = 0;
		for (auto _ : state) {
			Burst burst;
			IrcMessage message;
			for (size_t i = 0; i < kLinesPerMessage; ++i, ++n) {
				parseIrcLine(lines[n % lines.size()], message);
				ChatMessage record = fromPrivmsg(message);
				if (!record.text.empty())
					hub.onTwitchLine(record);
			}
		}
		state.SetItemsProcessed(static_cast<int64_t>(n));
		state.counters["ns_per_line"] = benchmark::Counter(
		    static_cast<double>(n), benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
		    benchmark::Counter::OneK::kIs1000);
		hub.shutdown();
	}
	setHost(nullptr);
	std::system((std::string("rm -rf ") + dir).c_str());
}
BENCHMARK(BM_HubLine);

} // namespace

int main(int argc, char **argv)
{
	setenv("QT_QPA_PLATFORM", "offscreen", 0);
	QApplication app(argc, argv);
	benchmark::Initialize(&argc, argv);
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	return 0;
}
