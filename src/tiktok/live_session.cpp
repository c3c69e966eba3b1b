// The live half of TikTokClient: signing, the push socket, the heartbeat
// thread and the receive loop.
#include "tiktok/tiktok_client.h"

#include "common/burst.h"
#include "common/endpoints.h"
#include "common/log.h"
#include "platform/https.h"
#include "tiktok/push_frame.h"
#include "tiktok/signing.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vanteo {

// Shared by the worker and the heartbeat thread of one session. The stop
// flag is set only by the worker, which then notifies `wake`: the heartbeat
// sleeps between beats without ticking.
struct TikTokClient::Heartbeat {
	platform::WebSocketClient *socket = nullptr;
	std::atomic<bool> stop{false};
	std::string roomId;
	std::mutex lock; // pairs with wake; stop is set under it
	std::condition_variable wake;
};

namespace {

// Ends a session in the required order whichever way runLive leaves: the
// heartbeat thread is stopped and joined, and only then the socket closed.
template <typename Beat> struct SessionEnd {
	Beat &beat;
	std::thread &heartbeat;
	platform::WebSocketClient &socket;

	~SessionEnd()
	{
		{
			std::lock_guard<std::mutex> guard(beat.lock);
			beat.stop = true;
		}
		beat.wake.notify_all();
		if (heartbeat.joinable())
			heartbeat.join();
		socket.close();
	}
};

} // namespace

bool TikTokClient::runLive(const std::string &uniqueId, const std::string &roomId)
{
	std::string body;
	std::string cookie;
	uint32_t httpStatus = 0;
	const bool completed = platform::httpsGet(endpoint_names::kTikTokSigner, signingPath(roomId), body, httpStatus,
						  kSigningHeaders, 443, kSigningCookieHeader, &cookie);
	const SigningAnswer answer = readSigningAnswer(body);
	const SigningVerdict verdict = judgeSigning(completed, httpStatus, answer);
	if (!verdict.ok) {
		status(verdict.state, verdict.detail);
		return false;
	}

	// Stopped while signing (the request was aborted): nothing to report.
	if (!m_worker.running())
		return false;

	const PushTarget target = pushTarget(answer.pushAddress, pushQuery(roomId, answer));
	platform::WebSocketClient socket(m_timings.socket);
	// Published before connecting, so that a stop aborts the connect too.
	platform::SocketWorker::Published published(m_worker, socket);
	if (!m_worker.running() || !socket.connect(target.host, 443, target.path, pushHeaders(cookie))) {
		socket.close();
		// A stop that came while connecting needs no report; the loop ends.
		if (m_worker.running())
			status(LinkState::Retry, "TikTok WebSocket rejected");
		return false;
	}

	{
		Heartbeat beat;
		beat.socket = &socket;
		beat.roomId = roomId;
		std::thread heartbeat;
		SessionEnd<Heartbeat> end{beat, heartbeat, socket};
		status(LinkState::Connected, "Listening · @" + uniqueId);
		socket.sendBinary(buildPushFrame("im_enter_room", enterRoomPayload(roomId, enterRoomRandomId())));
		heartbeat =
		    std::thread([this, &beat] { runGuarded("TikTok heartbeat", [&] { heartbeatLoop(&beat); }); });
		receiveLoop(socket);
	}
	// Still running: the connection failed rather than being stopped.
	if (m_worker.running())
		status(LinkState::Retry, "TikTok connection closed · retrying");
	return true;
}

// Runs until the socket fails, stays silent too long, or the client stops.
void TikTokClient::receiveLoop(platform::WebSocketClient &socket)
{
	using Clock = std::chrono::steady_clock;
	Clock::time_point lastFrame = Clock::now();
	std::string message;
	bool binary = false;
	while (m_worker.running()) {
		const platform::ReceiveResult result = socket.receive(message, binary);
		if (result == platform::ReceiveResult::Failed)
			break;
		if (result == platform::ReceiveResult::Timeout) {
			// An open socket can go silent for good; a live room always
			// sends something within a minute.
			if (Clock::now() - lastFrame > std::chrono::milliseconds(m_timings.silenceLimitMs))
				break;
			continue;
		}
		lastFrame = Clock::now();
		const DecodedFrame frame = decodeFrame(message);
		if (!frame.accepted)
			continue;
		// The acknowledgement goes out before the frame's messages are
		// handed on, as the server expects.
		if (!frame.logId.empty())
			socket.sendBinary(buildPushFrame("ack", frame.internalExt, frame.logId));
		// The records of one frame reach the pages together.
		Burst burst;
		if (m_message) {
			for (const ChatMessage &record : frame.messages)
				m_message(record);
		}
		if (frame.viewerCount >= 0 && m_viewers)
			m_viewers(frame.viewerCount);
	}
}

void TikTokClient::heartbeatLoop(Heartbeat *beat)
{
	uint64_t counter = 1;
	while (!beat->stop && m_worker.running()) {
		{
			// A stop of the client aborts the socket, which ends the
			// session and so sets `stop` too.
			std::unique_lock<std::mutex> waiting(beat->lock);
			beat->wake.wait_for(
			    waiting, std::chrono::milliseconds(int64_t(m_timings.heartbeatTicks) * m_timings.tickMs),
			    [beat] { return beat->stop.load(); });
		}
		if (beat->stop || !m_worker.running())
			return;
		if (!beat->socket->sendBinary(buildPushFrame("hb", heartbeatPayload(beat->roomId, counter))))
			return;
		++counter;
	}
}

} // namespace vanteo
