#pragma once

#include "feed/chat_sinks.h"
#include "platform/socket_worker.h"
#include "youtube/youtube_chat.h"

#include <cstdint>
#include <functional>
#include <string>

// Follows one YouTube channel without an API key: looks for its live stream
// on the channel's live page, and while there is one, polls the stream's
// live chat as YouTube's web player does and turns its actions into feed
// records and removals. Between streams it checks again every 2 minutes.
//
//   Checking ── not live / page failed ──► wait 2 min ──► Checking
//      └── live (Listening) ──► poll, wait as told, poll ...
//             ├── chat ended ──► wait 2 min
//             └── an answer unreadable or refused ──► wait 5 s
//
// Threads: `start` and `stop` come from the owner's threads (never from a
// sink) and are serialised. The worker thread runs the requests and calls
// the sinks; `stop` aborts a request in flight and returns only after every
// sink call has finished.
namespace vanteo {

class YouTubeClient {
public:
	// Waits; the defaults are the product's values.
	struct Timings {
		int tickMs = 100;        // every wait sleeps in ticks that check `running`
		int recheckTicks = 1200; // 2 min after a channel that is not live; the
					 // viewer count is read as often while live
		int afterFailTicks = 50; // 5 s after an answer that could not be read
		int minPollMs = 1000;    // bounds of the wait YouTube asks for
		int maxPollMs = 10000;
	};

	explicit YouTubeClient(ChatSinks sinks);
	YouTubeClient(ChatSinks sinks, Timings timings);
	~YouTubeClient();
	YouTubeClient(const YouTubeClient &) = delete;
	YouTubeClient &operator=(const YouTubeClient &) = delete;

	// Stops whatever runs, then follows the channel with handle `name`
	// (empty: reports "Not configured" and starts nothing).
	void start(const std::string &name);
	void stop();
	void requestStop() { m_worker.requestStop(); }

private:
	void liveStatusLoop(std::string name);
	// Polls one stream's chat; the ticks to wait before checking again.
	int runLive(const std::string &name, const YouTubeLivePage &page);
	// Reports the viewer count of the channel's live page, if it has one.
	void refreshViewers(const std::string &name);
	void status(LinkState state, const std::string &detail);

	const ChatSinks m_sinks;
	const Timings m_timings;
	platform::SocketWorker m_worker;
};

} // namespace vanteo
