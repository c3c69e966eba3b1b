#pragma once

#include "updater/update_types.h"

#include <string>
#include <vector>

// The release manifest ("manifest.json"): the newest version, the files that
// make it up with their SHA-256 digests, and release notes.
namespace vanteo {

struct Manifest {
	std::string version;             // "" when missing or the text is not JSON
	std::vector<ManifestFile> files; // in manifest order
	std::vector<ReleaseNote> notes;  // in manifest order
};

// Reads the manifest text; other keys are ignored, missing strings read as
// "", a missing array as empty.
Manifest readManifest(const std::string &text);

// A path the updater may write below the plug-in folder: not empty, not
// starting with "/", no ".." anywhere, only ASCII letters, digits and "-",
// ".", "/", "_".
bool isSafeManifestPath(const std::string &path);

// A release version as it may appear in a download path: digits and dots
// only, not empty.
bool isPlainVersion(const std::string &version);

} // namespace vanteo
