#pragma once

// The automatic updates switch, kept in "update.txt" ("1" on, "0" off).
// Checks made without an explicit request may install only while it is on.
// Written from the GUI thread (menu); read from any thread.
namespace vanteo {

bool isAutoUpdate();
// Stores the switch and writes the marker file; no log line.
void setAutoUpdate(bool on);
// Reads the marker file into the switch (missing or empty file: unchanged).
void loadAutoUpdateSwitch();

} // namespace vanteo
