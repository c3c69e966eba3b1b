#include "youtube/youtube_client.h"

#include "common/burst.h"
#include "common/endpoints.h"
#include "platform/https.h"

#include <algorithm>
#include <chrono>

namespace vanteo {

namespace {

// The browser the requests pose as. The cookie line answers the consent
// page in advance, as Setup's channel check does.
const char kPageHeaders[] = "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
			    "Gecko) Chrome/128.0.0.0 Safari/537.36\r\nAccept-Language: en-US,en;q=0.9\r\n"
			    "Cookie: SOCS=CAI; CONSENT=YES+cb\r\n";

const char kUnavailable[] = "YouTube chat unavailable · retrying";

bool fetchLivePage(const std::string &name, std::string &html, uint32_t &httpStatus)
{
	return platform::httpsGet(endpoint_names::kYouTube, youTubeLivePath(name) + "?ucbcb=1", html, httpStatus,
				  kPageHeaders);
}

} // namespace

YouTubeClient::YouTubeClient(ChatSinks sinks) : YouTubeClient(std::move(sinks), Timings()) {}

YouTubeClient::YouTubeClient(ChatSinks sinks, Timings timings)
	: m_sinks(std::move(sinks)), m_timings(timings), m_worker("YouTube worker")
{
}

YouTubeClient::~YouTubeClient()
{
	stop();
}

void YouTubeClient::status(LinkState state, const std::string &detail)
{
	if (m_sinks.status)
		m_sinks.status(Platform::YouTube, LinkStatus{state, detail});
}

void YouTubeClient::start(const std::string &name)
{
	stop();
	if (name.empty()) {
		status(LinkState::Disabled, "Not configured");
		return;
	}
	m_worker.start([this, name] { liveStatusLoop(name); });
}

void YouTubeClient::stop()
{
	m_worker.stop();
}

void YouTubeClient::liveStatusLoop(std::string name)
{
	while (m_worker.running()) {
		status(LinkState::Connecting, "Checking live status");
		std::string html;
		uint32_t httpStatus = 0;
		const bool completed = fetchLivePage(name, html, httpStatus);
		if (!m_worker.running())
			break;
		int ticks = m_timings.recheckTicks;
		const YouTubeLivePage page = readYouTubeLivePage(html);
		if (!completed) {
			status(LinkState::Retry, "YouTube is unreachable · checking again in 2 min");
		} else if (httpStatus == 404) {
			status(LinkState::Retry, "No YouTube channel matches this name · checking again in 2 min");
		} else if (httpStatus != 200) {
			status(LinkState::Retry,
			       "YouTube answered " + std::to_string(httpStatus) + " · checking again in 2 min");
		} else if (!page.live) {
			status(LinkState::Offline, "Channel offline · checking every 2 minutes");
		} else {
			if (page.viewers >= 0 && m_sinks.viewers)
				m_sinks.viewers(page.viewers);
			ticks = runLive(name, page);
		}
		m_worker.pause(ticks, m_timings.tickMs);
	}
	status(LinkState::Disabled, "Disconnected");
}

void YouTubeClient::refreshViewers(const std::string &name)
{
	std::string html;
	uint32_t httpStatus = 0;
	if (!fetchLivePage(name, html, httpStatus) || httpStatus != 200 || !m_worker.running())
		return;
	const YouTubeLivePage page = readYouTubeLivePage(html);
	if (page.live && page.viewers >= 0 && m_sinks.viewers)
		m_sinks.viewers(page.viewers);
}

int YouTubeClient::runLive(const std::string &name, const YouTubeLivePage &page)
{
	status(LinkState::Connected, "Listening · @" + name);
	std::string continuation = page.continuation;
	// The chat answers carry no viewer count; the live page, read again now
	// and then, keeps the header's count current.
	const auto viewersEvery = std::chrono::milliseconds(int64_t(m_timings.recheckTicks) * m_timings.tickMs);
	auto nextViewers = std::chrono::steady_clock::now() + viewersEvery;
	while (m_worker.running()) {
		if (std::chrono::steady_clock::now() >= nextViewers) {
			refreshViewers(name);
			nextViewers = std::chrono::steady_clock::now() + viewersEvery;
		}
		std::string body;
		uint32_t httpStatus = 0;
		const bool completed =
		    platform::httpsRequest("POST", endpoint_names::kYouTube, youTubeChatPath(page.apiKey),
					   std::string(kPageHeaders) + "Content-Type: application/json\r\n",
					   youTubeChatRequest(page.clientVersion, continuation), body, httpStatus);
		if (!m_worker.running())
			return 0;
		const YouTubeChatAnswer answer = completed && httpStatus == 200 ? readYouTubeChatAnswer(body)
										: YouTubeChatAnswer();
		if (!answer.ok) {
			// A refused or changed answer: the live page, read again, gives
			// a fresh start (or tells that the stream is over).
			status(LinkState::Retry, kUnavailable);
			return m_timings.afterFailTicks;
		}
		{
			// The records of one answer reach the pages together.
			Burst burst;
			for (const ChatMessage &record : answer.records)
				if (m_sinks.message)
					m_sinks.message(record);
		}
		for (const YouTubeRemoval &removal : answer.removals)
			if (m_sinks.clear)
				m_sinks.clear(Platform::YouTube, removal.id, removal.userId, std::string(),
					      std::string());
		if (answer.ended) {
			status(LinkState::Offline, "Channel offline · checking every 2 minutes");
			return m_timings.recheckTicks;
		}
		continuation = answer.continuation;
		const int waitMs = std::clamp(answer.timeoutMs > 0 ? answer.timeoutMs : m_timings.maxPollMs,
					      m_timings.minPollMs, m_timings.maxPollMs);
		m_worker.pause(std::max(1, waitMs / m_timings.tickMs), m_timings.tickMs);
	}
	return 0;
}

} // namespace vanteo
