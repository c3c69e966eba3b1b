#include "updater/updater.h"

#include "common/json.h"
#include "common/log.h"
#include "common/host.h"
#include "platform/https.h"
#include "common/persisted_switch.h"
#include "updater/update_check.h"

#include <util/base.h>

#include <system_error>

namespace vanteo {

Updater::Updater(std::function<std::string()> pluginFolder, UpdaterTiming timing)
	: m_pluginFolder(std::move(pluginFolder)), m_timing(timing)
{
}

Updater::~Updater()
{
	stop();
}

void Updater::start(StatusCallback callback)
{
	stop(); // a second start must not leave a thread unjoined
	m_callback = std::move(callback);
	ensureConfigFolder();
	autoUpdateSwitch().load();
	m_alive = true;
	m_idle = false;
	launch(Mode::Startup);
}

void Updater::stop()
{
	m_alive = false;
	if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
		m_thread.join();
}

void Updater::requestCheck()
{
	// A stopped updater starts nothing: a thread started after stop would
	// outlive the module.
	if (!m_alive || m_busy)
		return;
	bool idle = true;
	if (m_idle.compare_exchange_strong(idle, false)) {
		if (m_thread.joinable())
			m_thread.join();
		launch(Mode::Immediate);
		return;
	}
	m_request = true; // the start-up thread is still waiting
}

UpdateSnapshot Updater::snapshot() const
{
	std::lock_guard<std::mutex> guard(m_snapshotLock);
	return m_snapshot;
}

void Updater::launch(Mode mode)
{
	try {
		m_thread = std::thread([this, mode] {
			// A stop abandons the check at once, requests to a stalled
			// host included.
			platform::AbortScope requests(m_alive);
			runGuarded("update check", [&] { run(mode); });
			m_busy = false;
			m_idle = true;
		});
	} catch (const std::system_error &) {
		logLine(LOG_WARNING, "update: the update thread could not start");
		m_idle = true;
	}
}

void Updater::run(Mode mode)
{
	bool requested = true;
	if (mode == Mode::Startup) {
		const auto tick = m_timing.tick.count() > 0 ? m_timing.tick : std::chrono::milliseconds(100);
		const long long steps = m_timing.startupWait / tick;
		for (long long i = 0; i < steps && m_alive && !m_request; ++i)
			std::this_thread::sleep_until(std::chrono::steady_clock::now() + tick);
		requested = m_request.exchange(false);
		if (!m_alive)
			return;
	}

	m_busy = true;
	const bool installAllowed = requested || autoUpdateSwitch().on();
	UpdateResult result = checkForUpdate(installAllowed, m_pluginFolder(), m_alive);
	if (!m_alive)
		return; // abandoned: its requests were aborted, nothing to report
	logLine(LOG_INFO, "update: %s", result.message.c_str());
	{
		std::lock_guard<std::mutex> guard(m_snapshotLock);
		m_snapshot.status = result.status;
		m_snapshot.message = result.message;
		if (!result.latest.empty()) {
			m_snapshot.latest = result.latest;
			m_snapshot.notes = result.notes;
		}
	}
	// A request that arrived during the check makes its report a manual one.
	const bool manual = requested || m_request.exchange(false);
	if (m_callback && m_alive)
		m_callback(result.message, result.status, manual);
}

namespace {

Updater &moduleUpdater()
{
	static Updater updater(pluginRootFolder);
	return updater;
}

} // namespace

void startUpdater(Updater::StatusCallback callback)
{
	moduleUpdater().start(std::move(callback));
}

void stopUpdater()
{
	moduleUpdater().stop();
}

void requestUpdateCheck()
{
	moduleUpdater().requestCheck();
}

UpdateSnapshot updateSnapshot()
{
	return moduleUpdater().snapshot();
}

std::string updateStatusJson()
{
	Host *h = host();
	return updateStatusJsonFor(updateSnapshot(), h && !h->outputsActive());
}

std::string updateStatusJsonFor(const UpdateSnapshot &snapshot, bool canRestart)
{
	// Written by hand: the page and its tests rely on this key order.
	std::string json = "{\"status\":" + jsonQuote(statusWord(snapshot.status)) +
			   ",\"message\":" + jsonQuote(snapshot.message) + ",\"latest\":" + jsonQuote(snapshot.latest) +
			   ",\"current\":" + jsonQuote(kCurrentVersion) +
			   ",\"canRestart\":" + (canRestart ? "true" : "false") + ",\"notes\":[";
	for (size_t i = 0; i < snapshot.notes.size(); ++i) {
		if (i)
			json += ',';
		json += "{\"version\":" + jsonQuote(snapshot.notes[i].version) +
			",\"text\":" + jsonQuote(snapshot.notes[i].text) + "}";
	}
	json += "]}";
	return json;
}

} // namespace vanteo
