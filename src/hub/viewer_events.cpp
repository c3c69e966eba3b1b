#include "hub/chat_dock.h"

namespace vanteo {

// Counts reported by the connections (TikTok's room viewers, Twitch's live
// count) reach the pages as one "viewers" event per gap at most; demo numbers
// stay for a while before real ones return. Each round starts with a wait,
// which shutdown cuts short.
void ChatDock::viewerEventsLoop()
{
	using Clock = std::chrono::steady_clock;
	const ViewerEventTiming timing = m_viewerEventTiming;
	Clock::time_point nextEvent = Clock::now();
	for (;;) {
		{
			std::unique_lock<std::mutex> waiting(m_wakeLock);
			if (m_wake.wait_for(waiting, timing.tick, [this] { return !m_running; }))
				return;
		}
		const Clock::time_point now = Clock::now();
		if (m_demoViewers.exchange(false)) {
			std::lock_guard<std::mutex> guard(m_lock);
			m_viewersChanged = true;
			nextEvent = now + timing.demoHold;
		}
		if (now >= nextEvent && viewersChanged()) {
			viewersJson();
			nextEvent = now + timing.gap;
		}
	}
}

} // namespace vanteo
