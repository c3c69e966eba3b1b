#include "common/burst.h"

#include "common/log.h"

#include <util/base.h>

#include <exception>
#include <utility>
#include <vector>

namespace vanteo {

namespace {

thread_local int t_depth = 0;
thread_local std::vector<std::function<void()>> t_flushes;

void runGuardedFlush(const std::function<void()> &flush)
{
	try {
		flush();
	} catch (const std::exception &e) {
		logLine(LOG_WARNING, "sending a burst of events failed: %s", e.what());
	} catch (...) {
		logLine(LOG_WARNING, "sending a burst of events failed");
	}
}

} // namespace

Burst::Burst()
{
	++t_depth;
}

Burst::~Burst()
{
	if (--t_depth > 0)
		return;
	std::vector<std::function<void()>> flushes;
	flushes.swap(t_flushes);
	for (const std::function<void()> &flush : flushes)
		runGuardedFlush(flush);
}

bool Burst::active()
{
	return t_depth > 0;
}

void Burst::atEnd(std::function<void()> flush)
{
	if (t_depth > 0)
		t_flushes.push_back(std::move(flush));
	else
		runGuardedFlush(flush);
}

} // namespace vanteo
