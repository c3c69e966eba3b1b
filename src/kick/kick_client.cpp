#include "kick/kick_client.h"

#include "common/endpoints.h"
#include "kick/kick_channel.h"

#include <chrono>

namespace vanteo {

namespace {

// Kick's public Pusher application; reading a chatroom needs no more.
const char kPusherPath[] = "/app/32cbd69e4b950bf97679?protocol=7&client=js&version=8.4.0&flash=false";

// Pusher's documented default when the server names no activity timeout.
constexpr int kDefaultActivityMs = 120000;

} // namespace

KickClient::KickClient(ChatSinks sinks) : KickClient(std::move(sinks), Timings()) {}

KickClient::KickClient(ChatSinks sinks, Timings timings)
	: m_sinks(std::move(sinks)), m_timings(timings), m_worker("Kick worker")
{
}

KickClient::~KickClient()
{
	stop();
}

void KickClient::status(LinkState state, const std::string &detail)
{
	if (m_sinks.status)
		m_sinks.status(Platform::Kick, LinkStatus{state, detail});
}

void KickClient::start(const std::string &slug)
{
	stop();
	if (slug.empty()) {
		status(LinkState::Disabled, "Not configured");
		return;
	}
	m_worker.start([this, slug] { liveStatusLoop(slug); });
}

void KickClient::stop()
{
	m_worker.stop();
}

void KickClient::liveStatusLoop(std::string slug)
{
	while (m_worker.running()) {
		status(LinkState::Connecting, "Checking live status");
		const KickChannel channel = lookupKickChannel(slug);
		if (!m_worker.running())
			break;
		int ticks = m_timings.recheckTicks;
		if (!channel.ok) {
			status(LinkState::Retry, channel.error + " · checking again in 2 min");
		} else if (!channel.live) {
			status(LinkState::Offline, "Channel offline · checking every 2 minutes");
		} else if (channel.chatroomId.empty()) {
			status(LinkState::Retry, "Kick chat unavailable · checking again in 2 min");
		} else {
			if (channel.viewers >= 0 && m_sinks.viewers)
				m_sinks.viewers(channel.viewers);
			if (runLive(slug, channel.username, channel.chatroomId))
				ticks = m_timings.afterLiveTicks;
		}
		m_worker.pause(ticks, m_timings.tickMs);
	}
	status(LinkState::Disabled, "Disconnected");
}

bool KickClient::runLive(const std::string &slug, const std::string &username, const std::string &chatroomId)
{
	using Clock = std::chrono::steady_clock;
	platform::WebSocketClient socket(m_timings.socket);
	// Published before connecting, so that a stop aborts the connect too.
	platform::SocketWorker::Published published(m_worker, socket);
	if (!m_worker.running() || !socket.connect(endpoint_names::kKickPusher, 443, kPusherPath)) {
		socket.close();
		if (m_worker.running())
			status(LinkState::Retry, "Kick WebSocket rejected");
		return false;
	}
	const std::string channel = kickChatChannel(chatroomId);
	socket.sendText(kickSubscribeFrame(chatroomId));

	bool subscribed = false;
	bool offline = false;
	bool refused = false;
	int pingAfterMs = m_timings.pingAfterMs > 0 ? m_timings.pingAfterMs : kDefaultActivityMs;
	Clock::time_point lastFrame = Clock::now();
	Clock::time_point pingSent{};
	bool awaitingPong = false;
	Clock::time_point nextCheck =
	    Clock::now() + std::chrono::milliseconds(m_timings.recheckTicks * m_timings.tickMs);
	std::string text;
	bool binary = false;
	while (m_worker.running()) {
		const platform::ReceiveResult result = socket.receive(text, binary);
		if (result == platform::ReceiveResult::Failed)
			break;
		const Clock::time_point now = Clock::now();
		if (result == platform::ReceiveResult::Message) {
			lastFrame = now;
			awaitingPong = false;
			if (!binary &&
			    !handle(readKickFrame(text, channel), socket, username, subscribed, pingAfterMs)) {
				refused = true;
				break;
			}
		}
		// Pusher's keep-alive: after a quiet spell we ask, and a socket
		// that does not answer is dead.
		if (awaitingPong && now - pingSent > std::chrono::milliseconds(m_timings.pongWaitMs))
			break;
		if (!awaitingPong && now - lastFrame > std::chrono::milliseconds(pingAfterMs)) {
			if (!socket.sendText(kKickPingFrame))
				break;
			awaitingPong = true;
			pingSent = now;
		}
		if (now >= nextCheck) {
			nextCheck = now + std::chrono::milliseconds(m_timings.recheckTicks * m_timings.tickMs);
			const KickChannel again = lookupKickChannel(slug);
			if (again.ok && !again.live) {
				offline = true;
				break;
			}
			if (again.ok && again.viewers >= 0 && m_sinks.viewers)
				m_sinks.viewers(again.viewers);
		}
	}
	socket.close();
	if (!m_worker.running())
		return subscribed;
	if (offline)
		status(LinkState::Offline, "Channel offline · checking every 2 minutes");
	else if (!refused)
		status(LinkState::Retry, "Kick connection closed · retrying");
	// The session ended by going offline waits the long interval.
	return subscribed && !offline;
}

bool KickClient::handle(const KickFrame &frame, platform::WebSocketClient &socket, const std::string &username,
			bool &subscribed, int &pingAfterMs)
{
	switch (frame.kind) {
	case KickFrame::Kind::Established:
		if (m_timings.pingAfterMs <= 0 && frame.activityTimeoutSeconds > 0 &&
		    frame.activityTimeoutSeconds < 3600)
			pingAfterMs = frame.activityTimeoutSeconds * 1000;
		return true;
	case KickFrame::Kind::Ping:
		socket.sendText(kKickPongFrame);
		return true;
	case KickFrame::Kind::Subscribed:
		if (!subscribed)
			status(LinkState::Connected, "Listening · @" + username);
		subscribed = true;
		return true;
	case KickFrame::Kind::Error:
		status(LinkState::Retry, "Kick chat unavailable · retrying");
		return false;
	case KickFrame::Kind::Record:
		if (m_sinks.message)
			m_sinks.message(frame.record);
		return true;
	case KickFrame::Kind::Clear:
		if (m_sinks.clear)
			m_sinks.clear(Platform::Kick, frame.clear.id, frame.clear.userId, frame.clear.name,
				      frame.clear.duration);
		return true;
	default:
		return true;
	}
}

} // namespace vanteo
