#include "hub/chat_dock.h"

#include "common/log.h"
#include "common/obs_json.h"
#include "common/url_encode.h"
#include "twitch/helix.h"

#include <util/base.h>

#include <algorithm>

namespace vanteo {

namespace {

// An event's data must stay on one line of the event stream. Raw line
// breaks in JSON are only ever blanks between tokens (those inside strings
// are escaped), so turning them into spaces keeps the meaning.
std::string oneLine(std::string text)
{
	std::replace(text.begin(), text.end(), '\r', ' ');
	std::replace(text.begin(), text.end(), '\n', ' ');
	return text;
}

} // namespace

// The poller thread. Counts reported by the platform connections (TikTok's
// room viewers) and the Twitch count reach the pages as one "viewers" event
// per second at most; demo numbers stay for a while before real ones return.
// The Twitch count is polled once a minute (at once after an account or
// channel change), the pinned message every 20 seconds.
void ChatDock::pollerLoop()
{
	using Clock = std::chrono::steady_clock;
	const PollerTiming timing = m_pollerTiming;
	const Clock::time_point start = Clock::now();
	Clock::time_point nextViewerPoll = start;
	Clock::time_point nextPinsPoll = start;
	Clock::time_point nextViewersEvent = start;
	bool failureLogged = false;

	while (m_running) {
		Clock::time_point now = Clock::now();
		if (m_demoViewers.exchange(false)) {
			std::lock_guard<std::mutex> guard(m_lock);
			m_viewersChanged = true;
			nextViewersEvent = now + timing.demoHold;
		}

		if (m_pollNow.exchange(false) || now >= nextViewerPoll) {
			nextViewerPoll = now + timing.viewerPoll;
			pollTwitchViewers(failureLogged);
		}

		now = Clock::now();
		if (now >= nextPinsPoll) {
			nextPinsPoll = now + timing.pinsPoll;
			pollPins();
		}

		now = Clock::now();
		if (now >= nextViewersEvent && viewersChanged()) {
			viewersJson();
			nextViewersEvent = now + timing.viewersGap;
		}
		std::this_thread::sleep_for(timing.tick);
	}
}

void ChatDock::pollTwitchViewers(bool &failureLogged)
{
	const AccountContext ctx = accountContext();
	const HelixContext &helix = ctx.helix;
	if (helix.account.token.empty() || helix.clientId.empty() || ctx.channel.empty()) {
		std::lock_guard<std::mutex> guard(m_lock);
		if (m_twitchViewers != -1) {
			m_twitchViewers = -1;
			m_viewersChanged = true;
		}
		return;
	}
	const std::string query = helix.broadcasterId.empty() ? "user_login=" + urlEncode(ctx.channel)
							       : "user_id=" + urlEncode(helix.broadcasterId);
	std::string body;
	std::string error;
	if (!helixCall(helix, "GET", "/helix/streams?" + query, std::string(), body, error)) {
		// A shutdown aborts the call: nothing to report.
		if (!failureLogged && m_running)
			logLine(LOG_WARNING, "Twitch viewers unavailable: %s", error.c_str());
		failureLogged = true;
		return;
	}
	failureLogged = false;
	DataRef root(DataRef::parse(body));
	ArrayRef streams(obs_data_get_array(root.get(), "data"));
	// No list at all says nothing about the stream: the count stays.
	if (!streams.get())
		return;
	DataRef live(streams.item(0));
	setViewerCount(Platform::Twitch, live ? obs_data_get_int(live.get(), "viewer_count") : 0);
}

void ChatDock::pollPins()
{
	const HelixContext helix = accountContext().helix;
	if (helix.account.token.empty() || helix.clientId.empty() || helix.broadcasterId.empty() ||
	    helix.account.userId.empty())
		return;
	std::string body;
	std::string error;
	if (!helixCall(helix, "GET",
		       "/helix/chat/pins?broadcaster_id=" + urlEncode(helix.broadcasterId) +
			       "&moderator_id=" + urlEncode(helix.account.userId),
		       std::string(), body, error))
		return;
	body = oneLine(std::move(body));
	std::lock_guard<std::mutex> guard(m_lock);
	if (body == m_pins)
		return;
	m_pins = body;
	m_server.broadcast("pins", m_pins);
}

} // namespace vanteo
