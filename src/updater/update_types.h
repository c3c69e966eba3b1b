#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The values one update check produces and the updater keeps.
namespace vanteo {

namespace updater {
// Outcome of a check. The numbers are fixed: the menu stores them and the
// status JSON spells them as words (statusWord).
enum class Status : int32_t {
	Unknown = 0,   // no completed check, manifest unusable, or abandoned
	Latest = 1,    // the installed version is the newest
	Available = 2, // a newer version exists and was not installed
	Ready = 3,     // the newer files are in place; a restart finishes
	Setup = 4,     // the updater cannot install it; the setup program must
};
} // namespace updater

// "unknown", "latest", "available", "ready", "setup".
const char *statusWord(updater::Status status);

struct ReleaseNote {
	std::string version;
	std::string text;
};

struct ManifestFile {
	std::string path;   // relative, forward slashes
	std::string sha256; // 64 lower-case hexadecimal digits when valid
};

struct UpdateResult {
	std::string message; // one sentence for the user; may be empty
	updater::Status status = updater::Status::Unknown;
	std::string latest; // the manifest's version; may be empty
	std::vector<ReleaseNote> notes;
};

// What the updater remembers of its last report.
struct UpdateSnapshot {
	updater::Status status = updater::Status::Unknown;
	std::string message;
	std::string latest;
	std::vector<ReleaseNote> notes;
};

// The installed version, "0.3.11".
extern const char kCurrentVersion[];

} // namespace vanteo
