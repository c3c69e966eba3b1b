#pragma once

#include "updater/update_types.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// The background updater: one check a few seconds after load, and checks on
// request (menu, Updates page). At most one update thread runs; its result is
// logged, kept in a snapshot and reported through the status callback.
//
// Threads: start, stop and requestCheck are called on the GUI thread;
// snapshot from any thread; the status callback runs on the update thread
// (the module's callback re-posts to the GUI thread).
namespace vanteo {

// Pauses of the updater; the defaults are the product's.
struct UpdaterTiming {
	std::chrono::milliseconds startupWait{5000}; // before the first check
	std::chrono::milliseconds tick{100};         // step of every wait
};

class Updater {
public:
	// (message, status, manual): manual when the check was asked for.
	using StatusCallback = std::function<void(const std::string &, updater::Status, bool)>;

	// `pluginFolder` tells where the plug-in is installed (pluginRootFolder
	// in the module).
	explicit Updater(std::function<std::string()> pluginFolder, UpdaterTiming timing = {});
	~Updater();
	Updater(const Updater &) = delete;
	Updater &operator=(const Updater &) = delete;

	// Stores the callback, reads the automatic-updates switch and starts the
	// start-up thread, which waits before checking.
	void start(StatusCallback callback);
	// Abandons any wait or check (no callback afterwards) and joins. Not from
	// the update thread.
	void stop();
	// A check that may install: starts one at once when idle, cuts the
	// start-up wait short when it is running, ignored while checking or when
	// the updater is stopped.
	void requestCheck();
	UpdateSnapshot snapshot() const;
	bool checking() const { return m_busy; }

private:
	enum class Mode { Startup, Immediate };
	void run(Mode mode);
	void launch(Mode mode);

	std::function<std::string()> m_pluginFolder;
	UpdaterTiming m_timing;
	std::atomic<bool> m_alive{false};
	std::atomic<bool> m_idle{true};
	std::atomic<bool> m_busy{false};
	std::atomic<bool> m_request{false};
	StatusCallback m_callback;         // written by start before the thread exists
	mutable std::mutex m_snapshotLock; // guards m_snapshot
	UpdateSnapshot m_snapshot;
	std::thread m_thread; // touched on the GUI thread only
};

// The module's updater (its plug-in folder from the module library's path).
void startUpdater(Updater::StatusCallback callback);
void stopUpdater();
void requestUpdateCheck();
UpdateSnapshot updateSnapshot();
// The JSON the Updates page reads, keys in this order: status, message,
// latest, current, canRestart (the host's outputs are all idle), notes.
std::string updateStatusJson();
// The same from given values (pure).
std::string updateStatusJsonFor(const UpdateSnapshot &snapshot, bool canRestart);

} // namespace vanteo
