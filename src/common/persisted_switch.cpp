#include "common/persisted_switch.h"

#include "common/host.h"
#include "common/log.h"

#include <util/base.h>
#include <util/bmem.h>
#include <util/platform.h>

namespace vanteo {

bool readSwitchFile(const std::string &name, bool &value)
{
	std::string path = configFilePath(name);
	if (path.empty())
		return false;
	char *text = os_quick_read_utf8_file(path.c_str());
	if (!text)
		return false;
	bool found = text[0] != '\0';
	if (found)
		value = text[0] != '0';
	bfree(text);
	return found;
}

bool writeSwitchFile(const std::string &name, bool value)
{
	if (!ensureConfigFolder())
		return false;
	std::string path = configFilePath(name);
	const char *text = value ? "1" : "0";
	return os_quick_write_utf8_file(path.c_str(), text, 1, false);
}

bool switchFileExists(const std::string &name)
{
	std::string path = configFilePath(name);
	return !path.empty() && os_file_exists(path.c_str());
}

void PersistedSwitch::set(bool on)
{
	m_on = on;
	writeSwitchFile(m_marker, on);
	if (!on) {
		if (auto hook = m_offHook.load())
			hook();
	}
	if (m_logName)
		logLine(LOG_INFO, "%s: %s", m_logName, on ? "enabled" : "disabled");
}

void PersistedSwitch::load()
{
	bool value = m_on.load();
	if (readSwitchFile(m_marker, value))
		m_on = value;
}

PersistedSwitch &gameCaptureSwitch()
{
	static PersistedSwitch s("gamecapture.txt", "automatic game capture");
	return s;
}

PersistedSwitch &replayNotifySwitch()
{
	static PersistedSwitch s("replaynotify.txt", "replay buffer notifications");
	return s;
}

PersistedSwitch &autoUpdateSwitch()
{
	static PersistedSwitch s("update.txt", nullptr);
	return s;
}

} // namespace vanteo
