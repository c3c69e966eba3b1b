#include "platform/foreground_window.h"

#include <algorithm>
#include <cstdlib>

namespace vanteo::platform {

std::string lowerAscii(std::string text)
{
	for (char &c : text) {
		if (c >= 'A' && c <= 'Z')
			c = static_cast<char>(c - 'A' + 'a');
	}
	return text;
}

std::string fileNameOf(const std::string &path)
{
	const size_t slash = path.find_last_of("\\/");
	return slash == std::string::npos ? path : path.substr(slash + 1);
}

void setImagePath(ForegroundWindowInfo &info, const std::string &imagePath)
{
	info.path = lowerAscii(imagePath);
	info.exe = fileNameOf(info.path);
}

bool coversMonitor(const ScreenRect &window, const ScreenRect &monitor)
{
	// 64-bit sums: a monitor edge near the int32 limits must not wrap.
	const int64_t slack = 2;
	return window.left <= monitor.left + slack && window.top <= monitor.top + slack &&
	       window.right >= monitor.right - slack && window.bottom >= monitor.bottom - slack;
}

namespace {

int64_t overlap(int32_t a0, int32_t a1, int32_t b0, int32_t b1)
{
	return std::max<int64_t>(0, int64_t(std::min(a1, b1)) - std::max(a0, b0));
}

// Distance along one axis between two spans; 0 when they meet.
int64_t gap(int32_t a0, int32_t a1, int32_t b0, int32_t b1)
{
	if (a1 <= b0)
		return int64_t(b0) - a1;
	if (b1 <= a0)
		return int64_t(a0) - b1;
	return 0;
}

} // namespace

int nearestMonitor(const ScreenRect &window, const std::vector<ScreenRect> &monitors)
{
	int best = -1;
	int64_t bestArea = 0;
	for (size_t i = 0; i < monitors.size(); ++i) {
		const ScreenRect &m = monitors[i];
		const int64_t area = overlap(window.left, window.right, m.left, m.right) *
				     overlap(window.top, window.bottom, m.top, m.bottom);
		if (area > bestArea) {
			bestArea = area;
			best = static_cast<int>(i);
		}
	}
	if (best >= 0)
		return best;
	// Off every monitor: the closest one, as a window manager would place it.
	int64_t bestDistance = -1;
	for (size_t i = 0; i < monitors.size(); ++i) {
		const ScreenRect &m = monitors[i];
		const int64_t dx = gap(window.left, window.right, m.left, m.right);
		const int64_t dy = gap(window.top, window.bottom, m.top, m.bottom);
		const int64_t distance = dx * dx + dy * dy;
		if (bestDistance < 0 || distance < bestDistance) {
			bestDistance = distance;
			best = static_cast<int>(i);
		}
	}
	return best;
}

std::string windowKey(uint64_t handle, uint64_t processId)
{
	return std::to_string(handle) + ":" + std::to_string(processId);
}

} // namespace vanteo::platform
