#pragma once

#include "gamecapture/capture_watcher.h"

// Automatic game capture as the module runs it: one watcher thread from
// module load until the main window closes or the module unloads. Start and
// stop run on the GUI thread (never on the watcher thread); the switch may
// be flipped from any thread and only gates the retargeting.
namespace vanteo {

// Reads "gamecapture.txt" into the switch, runs the classifier self-test
// and, unless a watcher already runs, starts one over `env`.
void startGameCapture(GameCaptureEnv env = defaultGameCaptureEnv());

// Stops and joins the watcher (at once, or after the poll under way); logs
// "game capture stopped" only when one was running.
void stopGameCapture();

bool isGameCaptureRunning();

} // namespace vanteo
