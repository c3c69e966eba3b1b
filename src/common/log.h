#pragma once

#include <exception>

// The one logging helper: every line goes to libobs's blog with the
// "[vanteo] " prefix. Use LOG_INFO (300) and LOG_WARNING (200).
namespace vanteo {

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void logLine(int level, const char *format, ...);

// Logs the warning "<name> stopped: <cause>" ("<name> stopped" without one).
void logStopped(const char *name, const char *cause);

// Runs the body of one of our threads so that no exception leaves it: we run
// inside OBS, where an escaped exception ends the process and the stream. One
// that escapes the body is logged in one line and goes no further.
template <typename Body> void runGuarded(const char *name, Body &&body) noexcept
{
	try {
		body();
	} catch (const std::exception &e) {
		logStopped(name, e.what());
	} catch (...) {
		logStopped(name, nullptr);
	}
}

} // namespace vanteo
