#pragma once

#include <string>

// One-character marker files beside config.json that keep a single feature's
// switch: "1" on, "0" off, no line end.
namespace vanteo {

// Reads the switch; only the first byte counts ("0" off, anything else on).
// A missing or empty file leaves `value` unchanged and returns false.
bool readSwitchFile(const std::string &name, bool &value);

// Creates the configuration folder if needed and writes "1" or "0".
bool writeSwitchFile(const std::string &name, bool value);

// True when the marker exists (used by the show-once rule).
bool switchFileExists(const std::string &name);

} // namespace vanteo
