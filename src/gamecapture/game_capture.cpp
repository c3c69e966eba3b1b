#include "gamecapture/game_capture.h"

#include "gamecapture/window_classifier.h"
#include "common/log.h"
#include "common/persisted_switch.h"

#include <util/base.h>

#include <atomic>
#include <system_error>
#include <thread>

namespace vanteo {

namespace {

std::atomic<bool> g_running{false}; // the watcher is meant to run
std::thread g_thread;               // start and stop only (GUI thread)

} // namespace

void startGameCapture(GameCaptureEnv env)
{
	gameCaptureSwitch().load();
	runGameCaptureSelfTest();
	if (g_running.exchange(true))
		return;
	try {
		g_thread = std::thread([env = std::move(env)]() mutable {
			runGuarded("automatic game capture", [&] {
				GameCaptureWatcher watcher(std::move(env));
				watcher.run(g_running);
			});
		});
	} catch (const std::system_error &) {
		// Loading goes on; the feature stays off until the next start.
		g_running = false;
		logLine(LOG_WARNING, "automatic game capture could not start");
		return;
	}
	logLine(LOG_INFO, "automatic game capture: %s", gameCaptureSwitch().on() ? "enabled" : "disabled");
}

void stopGameCapture()
{
	if (!g_running.exchange(false))
		return;
	if (g_thread.joinable())
		g_thread.join();
	logLine(LOG_INFO, "game capture stopped");
}

bool isGameCaptureRunning()
{
	return g_running.load();
}

} // namespace vanteo
