#pragma once

#include <cstddef>
#include <string>

namespace vanteo::platform {

// Makes sure the file exists and is readable and writable by its owner only,
// before a writer truncates and fills it (a writer that truncates keeps the
// mode). Used for files that hold secrets. No-op where modes do not apply.
bool prepareOwnerOnlyFile(const std::string &path);

// Restricts an existing file to its owner; false when it does not exist.
bool restrictToOwner(const std::string &path);

// Reads the whole of a regular file (symbolic links followed) into `out`.
// False, with `out` empty, for anything else: a missing file, a folder, a
// pipe or device (never waited on), a read error, or a file larger than
// maxBytes. Never throws.
bool readRegularFile(const std::string &path, std::string &out, size_t maxBytes = 64u << 20);

} // namespace vanteo::platform
