#include "replaynotify/replay_notify_switch.h"

#include "common/log.h"
#include "common/persisted_switch.h"

#include <util/base.h>

#include <atomic>

namespace vanteo {

namespace {
std::atomic<bool> g_enabled{true};
std::atomic<void (*)()> g_offHook{nullptr};
const char kMarker[] = "replaynotify.txt";
} // namespace

bool isReplayNotifyEnabled()
{
	return g_enabled.load();
}

void setReplayNotifyEnabled(bool on)
{
	g_enabled = on;
	writeSwitchFile(kMarker, on);
	if (!on) {
		if (auto hook = g_offHook.load())
			hook();
	}
	logLine(LOG_INFO, "replay buffer notifications: %s", on ? "enabled" : "disabled");
}

void loadReplayNotifySwitch()
{
	bool value = g_enabled.load();
	if (readSwitchFile(kMarker, value))
		g_enabled = value;
}

void setReplayNotifyOffHook(void (*hook)())
{
	g_offHook = hook;
}

} // namespace vanteo
