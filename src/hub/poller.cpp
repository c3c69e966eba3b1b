#include "hub/chat_dock.h"

#include <chrono>

namespace vanteo {

// The poller thread. Counts reported by the platform connections (TikTok's
// room viewers) and the Twitch count reach the pages as one "viewers" event
// per second at most; demo numbers stay for 10 seconds before real ones
// return. Polling Twitch's live count and pinned message needs the account's
// Helix client; without a connected account the Twitch count is unknown.
void ChatDock::pollerLoop()
{
	using Clock = std::chrono::steady_clock;
	const auto tick = std::chrono::milliseconds(100);
	Clock::time_point nextViewerPoll = Clock::now();
	Clock::time_point nextViewersEvent = Clock::now();

	while (m_running) {
		const Clock::time_point now = Clock::now();
		if (m_demoViewers.exchange(false)) {
			std::lock_guard<std::mutex> guard(m_lock);
			m_viewersChanged = true;
			nextViewersEvent = now + std::chrono::seconds(10);
		}

		if (m_pollNow.exchange(false) || now >= nextViewerPoll) {
			nextViewerPoll = now + std::chrono::seconds(60);
			std::lock_guard<std::mutex> guard(m_lock);
			const bool credentials = !m_account.token.empty() &&
						 !effectiveClientId(m_settings.clientId).empty() &&
						 !m_settings.twitch.empty();
			if (!credentials && m_twitchViewers != -1) {
				m_twitchViewers = -1;
				m_viewersChanged = true;
			}
		}

		if (now >= nextViewersEvent && viewersChanged()) {
			viewersJson();
			nextViewersEvent = now + std::chrono::seconds(1);
		}
		std::this_thread::sleep_for(tick);
	}
}

} // namespace vanteo
