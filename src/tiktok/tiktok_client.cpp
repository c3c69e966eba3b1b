#include "tiktok/tiktok_client.h"

#include "common/endpoints.h"
#include "common/log.h"
#include "platform/https.h"

#include <util/base.h>

namespace vanteo {

TikTokClient::TikTokClient(MessageSink message, StatusSink status, ViewerSink viewers)
	: TikTokClient(std::move(message), std::move(status), std::move(viewers), Timings())
{
}

TikTokClient::TikTokClient(MessageSink message, StatusSink status, ViewerSink viewers, Timings timings)
	: m_message(std::move(message)), m_status(std::move(status)), m_viewers(std::move(viewers)), m_timings(timings),
	  m_worker("TikTok worker")
{
}

TikTokClient::~TikTokClient()
{
	stop();
}

void TikTokClient::status(LinkState state, const std::string &detail)
{
	if (m_status)
		m_status(Platform::TikTok, LinkStatus{state, detail});
}

void TikTokClient::start(const std::string &uniqueId)
{
	stop();
	if (uniqueId.empty()) {
		status(LinkState::Disabled, "Not configured");
		return;
	}
	m_worker.start([this, uniqueId] { liveStatusLoop(uniqueId); });
}

void TikTokClient::stop()
{
	m_worker.stop();
}

RoomLookup TikTokClient::lookupRoom(const std::string &uniqueId)
{
	std::string body;
	uint32_t httpStatus = 0;
	bool completed = platform::httpsGet(endpoint_names::kTikTokWeb, roomLookupPath(uniqueId), body, httpStatus,
					    roomLookupHeaders());
	return judgeRoomLookup(completed, httpStatus, body);
}

void TikTokClient::liveStatusLoop(std::string uniqueId)
{
	while (m_worker.running()) {
		status(LinkState::Connecting, "Checking live status");
		// A stop aborts the lookup (the worker's requests answer to its
		// running flag); what it then reports is not shown.
		RoomLookup room = lookupRoom(uniqueId);
		if (!m_worker.running())
			break;
		int ticks = m_timings.recheckTicks;
		if (!room.ok) {
			status(LinkState::Retry, room.error + " · checking again in 2 min");
		} else if (room.liveStatus == kTikTokLiveStatus) {
			if (runLive(uniqueId, room.roomId))
				ticks = m_timings.afterLiveTicks;
		} else {
			status(LinkState::Offline, "Channel offline · checking every 2 minutes");
		}
		m_worker.pause(ticks, m_timings.tickMs);
	}
	status(LinkState::Disabled, "Disconnected");
}

} // namespace vanteo
