#pragma once

#include <string>

namespace vanteo::platform {

// Makes sure the file exists and is readable and writable by its owner only,
// before a writer truncates and fills it (a writer that truncates keeps the
// mode). Used for files that hold secrets. No-op where modes do not apply.
bool prepareOwnerOnlyFile(const std::string &path);

// Restricts an existing file to its owner; false when it does not exist.
bool restrictToOwner(const std::string &path);

} // namespace vanteo::platform
