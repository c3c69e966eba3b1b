#include "gamecapture/game_capture_switch.h"

#include "common/log.h"
#include "common/persisted_switch.h"

#include <util/base.h>

#include <atomic>

namespace vanteo {

namespace {
std::atomic<bool> g_enabled{true};
const char kMarker[] = "gamecapture.txt";
} // namespace

bool isGameCaptureEnabled()
{
	return g_enabled.load();
}

void setGameCaptureEnabled(bool on)
{
	g_enabled = on;
	writeSwitchFile(kMarker, on);
	logLine(LOG_INFO, "automatic game capture: %s", on ? "enabled" : "disabled");
}

void loadGameCaptureSwitch()
{
	bool value = g_enabled.load();
	if (readSwitchFile(kMarker, value))
		g_enabled = value;
}

} // namespace vanteo
