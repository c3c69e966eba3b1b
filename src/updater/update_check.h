#pragma once

#include "updater/update_types.h"

#include <atomic>
#include <string>

// One update check: fetch the manifest, compare versions, download and
// verify every changed file, stage them as ".new" and swap the module
// libraries in place. Runs on the update thread only (network and disk).
namespace vanteo {

// The plug-in's own folder: the module library's path without its last three
// components (<folder>/bin/64bit/<library>); "" when the path is unknown.
std::string pluginRootFolder();
// The same rule on a given library path ("/" or "\" separators).
std::string pluginFolderOf(const std::string &libraryPath);
// The updater installs only into a folder named exactly "vanteo".
bool isVanteoFolder(const std::string &folder);

// https://<GitHub web host>/Pellorra/vanteo-releases/releases/latest
std::string releasePageAddress();

// The whole check. `installAllowed` permits downloading and installing;
// `alive` is polled before each file so that a stop abandons the check (the
// result then has status Unknown and no message). Files are written only
// after every changed file was downloaded and verified.
UpdateResult checkForUpdate(bool installAllowed, const std::string &pluginFolder, const std::atomic<bool> &alive);

} // namespace vanteo
