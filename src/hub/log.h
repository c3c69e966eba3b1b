#pragma once

// The one logging helper: every line goes to libobs's blog with the
// "[vanteo] " prefix. Use LOG_INFO (300) and LOG_WARNING (200).
namespace vanteo {

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void logLine(int level, const char *format, ...);

} // namespace vanteo
