#pragma once

#include <string>

// File operations whose exact semantics matter to the updater: a move that
// replaces its target in one step (rename on POSIX, MoveFileExW with
// MOVEFILE_REPLACE_EXISTING on Windows; a loaded module library can be moved
// away on both), and the platform's own path form. Paths are UTF-8. Any
// thread.
namespace vanteo::platform {

// Moves `from` to `to`, replacing an existing file there. False when the
// move did not happen (both paths are then as before).
bool moveReplacing(const std::string &from, const std::string &to);

// Deletes a file; false when it is still there.
bool removeFile(const std::string &path);

// `path` with every "/" turned into the platform's separator.
std::string nativeSeparators(const std::string &path);

} // namespace vanteo::platform
