#pragma once

// The replay buffer notification switch, kept in "replaynotify.txt".
namespace vanteo {

bool isReplayNotifyEnabled();
// Stores the switch, writes the marker file, closes an open banner when
// switched off (through the hook below) and logs; runs fully on every call.
void setReplayNotifyEnabled(bool on);
// Reads the marker file into the switch (missing or empty file: unchanged).
void loadReplayNotifySwitch();

// Called when the switch turns off, to close a banner that is showing.
void setReplayNotifyOffHook(void (*hook)());

} // namespace vanteo
