#include "platform/overlay_window.h"

namespace vanteo::platform {

// X11 window managers honour the Qt flags (tool window, on top, no input,
// no focus) through the window type and input hints Qt sets; nothing to add.
void makeOverlayWindow(uintptr_t) {}

} // namespace vanteo::platform
