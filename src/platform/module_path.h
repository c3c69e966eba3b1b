#pragma once

#include <string>

// Where the plug-in's own library lives. Any thread.
namespace vanteo::platform {

// Absolute path of the loaded library (or executable) that contains this
// code, in the platform's form; "" when the platform cannot tell.
std::string moduleLibraryPath();

// The extension of a module library on this platform: ".so" or ".dll".
extern const char kLibraryExtension[];

} // namespace vanteo::platform
