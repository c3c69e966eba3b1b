#include "hub/chat_dock.h"

namespace vanteo {

// Counts reported by the connections (TikTok's room viewers, Twitch's live
// count) reach the pages as one "viewers" event per gap at most; demo numbers
// stay for a while before real ones return. The thread sleeps until a count
// changes or demo numbers are asked for, then looks every tick while
// something waits to be sent; shutdown cuts any wait short.
void ChatDock::viewerEventsLoop()
{
	using Clock = std::chrono::steady_clock;
	const ViewerEventTiming timing = m_viewerEventTiming;
	Clock::time_point nextEvent = Clock::now();
	for (;;) {
		{
			std::unique_lock<std::mutex> waiting(m_wakeLock);
			m_wake.wait(waiting, [this] { return !m_running || m_viewersPoked; });
			if (m_wake.wait_for(waiting, timing.tick, [this] { return !m_running; }))
				return;
			m_viewersPoked = false;
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
		// A change held back by the gap or the demo numbers is looked at
		// again at the next tick.
		if (viewersChanged())
			pokeViewerEvents();
	}
}

void ChatDock::pokeViewerEvents()
{
	{
		std::lock_guard<std::mutex> guard(m_wakeLock);
		m_viewersPoked = true;
	}
	m_wake.notify_all();
}

} // namespace vanteo
