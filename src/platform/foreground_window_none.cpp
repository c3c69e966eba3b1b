#include "platform/foreground_window.h"

namespace vanteo::platform {

// A build without a window system to ask: there is no foreground window to
// read, so automatic game capture never finds a game.
bool captureForegroundWindow(ForegroundWindowInfo &)
{
	return false;
}

} // namespace vanteo::platform
