#pragma once

// The automatic game capture switch, kept in "gamecapture.txt".
namespace vanteo {

bool isGameCaptureEnabled();
// Stores the switch, writes the marker file and logs; runs fully on every
// call. It does not start or stop the watcher.
void setGameCaptureEnabled(bool on);
// Reads the marker file into the switch (missing or empty file: unchanged).
void loadGameCaptureSwitch();

} // namespace vanteo
