#include "common/log.h"

#include <util/base.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace vanteo {

void logLine(int level, const char *format, ...)
{
	char buf[2048];
	va_list args;
	va_start(args, format);
	vsnprintf(buf, sizeof(buf), format, args);
	va_end(args);
	blog(level, "[vanteo] %s", buf);
}

} // namespace vanteo

namespace vanteo {

void logStopped(const char *name, const char *cause)
{
	if (cause)
		logLine(LOG_WARNING, "%s stopped: %s", name, cause);
	else
		logLine(LOG_WARNING, "%s stopped", name);
}

} // namespace vanteo
