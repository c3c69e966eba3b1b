#include "gamecapture/game_capture.h"

#include "gamecapture/window_classifier.h"
#include "common/log.h"
#include "common/persisted_switch.h"

#include <util/base.h>

namespace vanteo {

namespace {

// Started and stopped on the GUI thread only; its stop ends the watcher's
// sleep at once.
platform::SocketWorker g_worker("automatic game capture");

} // namespace

void startGameCapture(GameCaptureEnv env)
{
	gameCaptureSwitch().load();
	runGameCaptureSelfTest();
	if (g_worker.running())
		return;
	g_worker.start([env = std::move(env)]() mutable {
		GameCaptureWatcher watcher(std::move(env));
		watcher.run(g_worker);
	});
	if (!g_worker.running()) {
		// Loading goes on; the feature stays off until the next start.
		logLine(LOG_WARNING, "automatic game capture could not start");
		return;
	}
	logLine(LOG_INFO, "automatic game capture: %s", gameCaptureSwitch().on() ? "enabled" : "disabled");
}

void stopGameCapture()
{
	if (!g_worker.running())
		return;
	g_worker.stop();
	logLine(LOG_INFO, "game capture stopped");
}

bool isGameCaptureRunning()
{
	return g_worker.running();
}

} // namespace vanteo
