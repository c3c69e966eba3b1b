#pragma once

#include <atomic>
#include <string>

// On/off switches of single features, each kept in a one-character marker
// file beside config.json: "1" on, "0" off, no line end.
namespace vanteo {

// Reads the marker; only the first byte counts ("0" off, anything else on).
// A missing or empty file leaves `value` unchanged and returns false.
bool readSwitchFile(const std::string &name, bool &value);

// Creates the configuration folder if needed and writes "1" or "0".
bool writeSwitchFile(const std::string &name, bool value);

// True when the marker exists (used by the show-once rule).
bool switchFileExists(const std::string &name);

// A feature's switch: on until its marker says otherwise. Read from any
// thread; `set` and `load` come from the GUI thread or a request's thread.
class PersistedSwitch {
public:
	// `logName` names the feature in the line "<logName>: enabled" (or
	// "disabled") that every `set` logs; nullptr logs nothing.
	constexpr PersistedSwitch(const char *marker, const char *logName) : m_marker(marker), m_logName(logName) {}
	PersistedSwitch(const PersistedSwitch &) = delete;
	PersistedSwitch &operator=(const PersistedSwitch &) = delete;

	bool on() const { return m_on.load(); }
	// Stores the value, writes the marker, runs the switch-off hook when
	// off, and logs; the whole of it on every call.
	void set(bool on);
	// Reads the marker into the switch (missing or empty file: unchanged).
	void load();
	// Runs after every `set(false)`; nullptr removes it.
	void setOffHook(void (*hook)()) { m_offHook = hook; }

private:
	const char *m_marker;
	const char *m_logName;
	std::atomic<bool> m_on{true};
	std::atomic<void (*)()> m_offHook{nullptr};
};

// The plug-in's switches. Automatic game capture ("gamecapture.txt") and
// replay buffer notifications ("replaynotify.txt") log their changes;
// automatic updates ("update.txt": checks made without an explicit request
// install only while it is on) change silently.
PersistedSwitch &gameCaptureSwitch();
PersistedSwitch &replayNotifySwitch();
PersistedSwitch &autoUpdateSwitch();

} // namespace vanteo
