#include "twitch/channel_poller.h"

#include "common/log.h"
#include "common/obs_json.h"
#include "common/url_encode.h"

#include <util/base.h>

#include <algorithm>

namespace vanteo {

TwitchChannelPoller::TwitchChannelPoller(TargetSource target, ViewersSink viewers, PinsSink pins, Timing timing)
	: m_target(std::move(target)), m_viewers(std::move(viewers)), m_pins(std::move(pins)), m_timing(timing)
{
}

void TwitchChannelPoller::start()
{
	m_worker.start([this] { run(); });
}

void TwitchChannelPoller::run()
{
	using Clock = std::chrono::steady_clock;
	Clock::time_point nextViewerPoll = Clock::now();
	Clock::time_point nextPinsPoll = nextViewerPoll;
	bool failureLogged = false;
	while (m_worker.running()) {
		Clock::time_point now = Clock::now();
		if (m_pollNow.exchange(false) || now >= nextViewerPoll) {
			nextViewerPoll = now + m_timing.viewerPoll;
			pollViewers(failureLogged);
		}
		now = Clock::now();
		if (now >= nextPinsPoll) {
			nextPinsPoll = now + m_timing.pinsPoll;
			pollPins();
		}
		// Asleep until the next poll is due, unless pollNow wakes it.
		m_worker.pauseUntil(std::min(nextViewerPoll, nextPinsPoll));
	}
}

void TwitchChannelPoller::pollViewers(bool &failureLogged)
{
	const Target target = m_target();
	const HelixContext &helix = target.helix;
	if (helix.account.token.empty() || helix.clientId.empty() || target.channel.empty()) {
		m_viewers(-1);
		return;
	}
	const std::string query = helix.broadcasterId.empty() ? "user_login=" + urlEncode(target.channel)
							      : "user_id=" + urlEncode(helix.broadcasterId);
	std::string body;
	std::string error;
	if (!helixCall(helix, "GET", "/helix/streams?" + query, std::string(), body, error)) {
		// A stop aborts the call: nothing to report.
		if (!failureLogged && m_worker.running())
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
	m_viewers(live ? obs_data_get_int(live.get(), "viewer_count") : 0);
}

void TwitchChannelPoller::pollPins()
{
	const HelixContext helix = m_target().helix;
	if (helix.account.token.empty() || helix.clientId.empty() || helix.broadcasterId.empty() ||
	    helix.account.userId.empty())
		return;
	std::string body;
	std::string error;
	if (helixCall(helix, "GET",
		      "/helix/chat/pins?broadcaster_id=" + urlEncode(helix.broadcasterId) +
			  "&moderator_id=" + urlEncode(helix.account.userId),
		      std::string(), body, error))
		m_pins(body);
}

} // namespace vanteo
