#pragma once

#include <cstdint>

namespace vanteo::platform {

// Gives a shown top-level window (its native handle, as Qt's winId) the
// native styles of an overlay: on top of full-screen applications, never
// activated, transparent for the mouse. Qt's window flags already ask for
// this; on Windows the native styles make sure. GUI thread only.
void makeOverlayWindow(uintptr_t nativeHandle);

} // namespace vanteo::platform
