#pragma once

#include "gamecapture/capture_sources.h"
#include "platform/foreground_window.h"
#include "platform/socket_worker.h"

#include <cstdint>
#include <functional>
#include <string>

// The game capture watcher: twice a second it looks at the foreground
// window; once the same game has stayed in front for three polls it points
// the capture sources at it, and six seconds later it checks whether a Game
// Capture source hooked.
//
// One watcher lives on the game capture thread; all its state is private to
// that thread. Only the thread's worker (whose stop ends the watcher's sleep
// at once) and the module-wide switch (gameCaptureSwitch) are shared.
namespace vanteo {

struct GameCaptureTimings {
	uint32_t pollMs = 500;
	uint64_t hookCheckNs = 6000000000ull; // retarget to hook check
};

// What the watcher reads from the outside world. The defaults are the real
// ones: the platform's foreground window, the host's sources and clock.
struct GameCaptureEnv {
	std::function<bool(ForegroundWindowInfo &)> foreground;
	SourceCatalog *sources = nullptr;
	std::function<uint64_t()> clock; // monotonic nanoseconds
	GameCaptureTimings timings;
};

// The environment of the running host (sources: an ObsSourceCatalog that
// lives for the program).
GameCaptureEnv defaultGameCaptureEnv();

class GameCaptureWatcher {
public:
	explicit GameCaptureWatcher(GameCaptureEnv env) : m_env(std::move(env)) {}

	// Sleeps a poll interval and polls, until `worker` is stopped (which
	// ends the sleep at once). Runs on the worker's thread.
	void run(platform::SocketWorker &worker);

	// One poll: the pending hook check, then (switch on) the foreground
	// window and a retarget once it is stable.
	void poll();

	const std::string &appliedWindow() const { return m_appliedWindow; }

private:
	void hookCheck();
	void retarget(const ForegroundWindowInfo &info, const char *reason);

	GameCaptureEnv m_env;
	std::string m_pendingKey;    // the game window last seen in front
	int32_t m_stableCount = 0;   // further polls that saw m_pendingKey
	std::string m_appliedWindow; // selection last written to the sources
	std::string m_warnedWindow;  // applied window the no-hook hint was logged for
	uint64_t m_hookDeadline = 0; // clock value of the next hook check; 0: none
};

} // namespace vanteo
