#include "platform/foreground_window.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vanteo::platform {

// UTF-16 to UTF-8 with the system converter; "" for an empty input or a
// conversion that fails.
std::string toUtf8(const wchar_t *text, int length)
{
	if (!text || length <= 0)
		return std::string();
	const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
	if (size <= 0)
		return std::string();
	std::string result(static_cast<size_t>(size), '\0');
	const int written = WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), size, nullptr, nullptr);
	if (written <= 0)
		return std::string();
	result.resize(static_cast<size_t>(written));
	return result;
}

namespace {

// The full image path of the process, or "" when it cannot be queried.
std::string processImage(DWORD processId)
{
	HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
	if (!process)
		return std::string();
	wchar_t buffer[1040];
	DWORD length = 1040;
	const BOOL ok = QueryFullProcessImageNameW(process, 0, buffer, &length);
	CloseHandle(process);
	return ok ? toUtf8(buffer, static_cast<int>(length)) : std::string();
}

ScreenRect toScreenRect(const RECT &r)
{
	return ScreenRect{r.left, r.top, r.right, r.bottom};
}

// Both flags stay false when any of the geometry calls fails.
void readGeometry(HWND window, ForegroundWindowInfo &info)
{
	RECT windowRect;
	if (!GetWindowRect(window, &windowRect))
		return;
	HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
	if (!monitor)
		return;
	MONITORINFO monitorInfo{};
	monitorInfo.cbSize = sizeof(monitorInfo);
	if (!GetMonitorInfoW(monitor, &monitorInfo))
		return;
	info.coversMonitor = coversMonitor(toScreenRect(windowRect), toScreenRect(monitorInfo.rcMonitor));
	const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
	info.borderlessStyle = (style & WS_CHILD) == 0 && (style & WS_CAPTION) != WS_CAPTION;
}

} // namespace

bool captureForegroundWindow(ForegroundWindowInfo &info)
{
	HWND window = GetForegroundWindow();
	if (!window || !IsWindowVisible(window))
		return false;
	DWORD processId = 0;
	GetWindowThreadProcessId(window, &processId);
	const std::string image = processImage(processId);
	if (image.empty())
		return false;
	setImagePath(info, image);

	wchar_t title[512];
	info.title = toUtf8(title, GetWindowTextW(window, title, 512));
	wchar_t windowClass[256];
	info.windowClass = toUtf8(windowClass, GetClassNameW(window, windowClass, 256));
	if (info.title.empty() || info.windowClass.empty() || info.exe.empty())
		return false;

	readGeometry(window, info);
	info.key = windowKey(reinterpret_cast<uintptr_t>(window), processId);
	return true;
}

} // namespace vanteo::platform
