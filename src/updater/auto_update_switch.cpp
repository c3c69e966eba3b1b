#include "updater/auto_update_switch.h"

#include "common/persisted_switch.h"

#include <atomic>

namespace vanteo {

namespace {
std::atomic<bool> g_autoUpdate{true};
const char kMarker[] = "update.txt";
} // namespace

bool isAutoUpdate()
{
	return g_autoUpdate.load();
}

void setAutoUpdate(bool on)
{
	g_autoUpdate = on;
	writeSwitchFile(kMarker, on);
}

void loadAutoUpdateSwitch()
{
	bool value = g_autoUpdate.load();
	if (readSwitchFile(kMarker, value))
		g_autoUpdate = value;
}

} // namespace vanteo
