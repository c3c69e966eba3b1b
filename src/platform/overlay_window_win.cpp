#include "platform/overlay_window.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vanteo::platform {

void makeOverlayWindow(uintptr_t nativeHandle)
{
	HWND window = reinterpret_cast<HWND>(nativeHandle);
	if (!window)
		return;
	const LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
	SetWindowLongPtrW(window, GWL_EXSTYLE, style | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE);
	SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

} // namespace vanteo::platform
