#include "gamecapture/capture_watcher.h"

#include "common/persisted_switch.h"
#include "gamecapture/window_classifier.h"
#include "common/log.h"

#include <util/base.h>
#include <util/platform.h>

#include <chrono>

namespace vanteo {

GameCaptureEnv defaultGameCaptureEnv()
{
	static ObsSourceCatalog catalog; // stateless; shared by every watcher
	GameCaptureEnv env;
	env.foreground = platform::captureForegroundWindow;
	env.sources = &catalog;
	env.clock = os_gettime_ns;
	return env;
}

void GameCaptureWatcher::run(platform::SocketWorker &worker)
{
	while (worker.pauseUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(m_env.timings.pollMs)))
		poll();
}

void GameCaptureWatcher::poll()
{
	hookCheck();
	// The switch gates only the retarget; a scheduled hook check still runs.
	if (!gameCaptureSwitch().on())
		return;
	ForegroundWindowInfo info;
	if (!m_env.foreground || !m_env.foreground(info))
		return; // a game that cannot be read for one poll keeps its count
	const char *reason = nullptr;
	if (!classifyWindow(info, reason)) {
		m_pendingKey.clear();
		m_stableCount = 0;
		return;
	}
	if (info.key != m_pendingKey) {
		m_pendingKey = info.key;
		m_stableCount = 0;
		return;
	}
	// Third consecutive poll on the same window, and every one after it.
	if (++m_stableCount < 2)
		return;
	m_stableCount = 2; // only "two or more" matters; no overflow in a long session
	retarget(info, reason);
}

void GameCaptureWatcher::hookCheck()
{
	if (m_hookDeadline == 0 || m_env.clock() < m_hookDeadline)
		return;
	m_hookDeadline = 0;
	const bool hooked = m_env.sources && anyGameCaptureHooked(*m_env.sources);
	if (!hooked && m_appliedWindow != m_warnedWindow) {
		m_warnedWindow = m_appliedWindow;
		logLine(LOG_WARNING, "game capture did not hook: try running the game in borderless mode");
	}
}

void GameCaptureWatcher::retarget(const ForegroundWindowInfo &info, const char *reason)
{
	const std::string window = windowSelection(info.title, info.windowClass, info.exe);
	if (window == m_appliedWindow)
		return;
	RetargetContext ctx;
	ctx.window = window;
	if (m_env.sources)
		m_env.sources->forEach([&ctx](CaptureSource &source) { retargetSource(source, ctx); });
	m_appliedWindow = window;
	m_warnedWindow.clear();
	const uint64_t now = m_env.clock();
	if (!ctx.changed.empty()) {
		std::string names;
		for (const std::string &name : ctx.changed)
			names += (names.empty() ? "" : ", ") + name;
		logLine(LOG_INFO, "game detected (%s): %s -> %s", reason, info.exe.c_str(), names.c_str());
	}
	m_hookDeadline = now + m_env.timings.hookCheckNs;
}

} // namespace vanteo
