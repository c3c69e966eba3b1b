#pragma once

#include "platform/foreground_window.h"

// Whether the foreground window is a game that the capture sources should
// follow. Pure: constant tables and byte comparisons, callable from any
// thread (the watcher thread in practice).
namespace vanteo {

// True when the record is taken for a game. `reason` always receives one of
// nine constant texts (valid for the life of the program), used in log
// lines only. Reads windowClass, exe, path and the two geometry flags; exe
// and path must already be lower-case, as captureForegroundWindow makes them.
bool classifyWindow(const ForegroundWindowInfo &info, const char *&reason);

// Classifies ten fixed windows and logs the score ("game capture self-test:
// 10/10" when all pass). Run each time game capture starts; changes nothing.
void runGameCaptureSelfTest();

} // namespace vanteo
