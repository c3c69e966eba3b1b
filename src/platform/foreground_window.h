#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vanteo {

// One description of the window the user is looking at, taken fresh for
// every poll of automatic game capture and discarded afterwards.
struct ForegroundWindowInfo {
	std::string title;            // as reported, case kept (UTF-8)
	std::string windowClass;      // as reported, case kept (UTF-8)
	std::string exe;              // file-name part of `path`, hence lower-case
	std::string path;             // process image path, ASCII letters lowered
	bool coversMonitor = false;   // covers its monitor within 2 px per edge
	bool borderlessStyle = false; // neither a child nor a decorated window
	std::string key;              // "<window handle>:<process id>"
};

} // namespace vanteo

// Reading the foreground window from the operating system: User32 on
// Windows, the window manager's _NET_ACTIVE_WINDOW on X11. Called on the
// game capture watcher thread only.
namespace vanteo::platform {

// Fills `info` from the current foreground window. False when there is
// nothing usable this time (no window, not visible, no process image, an
// empty title, class or executable name, no display); the caller then
// ignores the record.
bool captureForegroundWindow(ForegroundWindowInfo &info);

// Edges in screen pixels; right and bottom are exclusive.
struct ScreenRect {
	int32_t left = 0;
	int32_t top = 0;
	int32_t right = 0;
	int32_t bottom = 0;
};

// The record rules every platform shares; pure functions.

// Lowers ASCII letters byte by byte; other bytes (UTF-8 included) stay.
std::string lowerAscii(std::string text);
// Everything after the last "\" or "/"; the whole text when there is none.
std::string fileNameOf(const std::string &path);
// Sets `path` (lowered) and `exe` from a process image path.
void setImagePath(ForegroundWindowInfo &info, const std::string &imagePath);
// True when the window reaches every edge of the monitor within 2 pixels.
bool coversMonitor(const ScreenRect &window, const ScreenRect &monitor);
// The monitor the window is on: the one it overlaps most, else the nearest
// one. -1 when `monitors` is empty.
int nearestMonitor(const ScreenRect &window, const std::vector<ScreenRect> &monitors);
// "<handle>:<pid>" in decimal.
std::string windowKey(uint64_t handle, uint64_t processId);

} // namespace vanteo::platform
