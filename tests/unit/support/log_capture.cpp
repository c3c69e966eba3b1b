#include "support/log_capture.h"

#include <util/base.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace vanteo::test {

namespace {
std::mutex g_lock; // guards g_lines
std::vector<std::string> g_lines;

void handler(int level, const char *format, va_list args, void *)
{
	char buf[4096];
	vsnprintf(buf, sizeof(buf), format, args);
	if (getenv("VANTEO_TEST_LOG"))
		fprintf(stderr, "log %d: %s\n", level, buf);
	std::lock_guard<std::mutex> guard(g_lock);
	g_lines.emplace_back(buf);
}
} // namespace

void installLogCapture()
{
	base_set_log_handler(handler, nullptr);
}

void clearLog()
{
	std::lock_guard<std::mutex> guard(g_lock);
	g_lines.clear();
}

size_t logCount(const std::string &text)
{
	std::lock_guard<std::mutex> guard(g_lock);
	size_t n = 0;
	for (const auto &line : g_lines)
		n += line.find(text) != std::string::npos;
	return n;
}

} // namespace vanteo::test
