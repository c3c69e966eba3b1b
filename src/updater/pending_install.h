#pragma once

#include <string>

// Finishes an update at the next module load: every staged "<file>.new" in
// the plug-in folder replaces its file, and the ".old" copies of swapped
// libraries are deleted. The very first thing the module does at load, on
// the GUI thread, before any of its files can be in use.
namespace vanteo {

// On the module's own folder (pluginRootFolder).
void installPendingUpdate();
// On a given plug-in folder; nothing unless it is named "vanteo". A file that
// cannot be replaced stays pending (logged) and is retried at the next load.
void installPendingUpdateIn(const std::string &pluginFolder);

} // namespace vanteo
