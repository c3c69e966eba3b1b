#include "twitch/chat_reader.h"

#include "common/burst.h"
#include "common/log.h"
#include "twitch/irc_message.h"
#include "twitch/irc_records.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <random>

namespace vanteo {

namespace {

const char kCapLine[] = "CAP REQ :twitch.tv/tags twitch.tv/commands\r\n";

} // namespace

// Shared by one connection attempt and its join watchdog, which sleeps
// until the join deadline unless the attempt joins or ends first.
struct TwitchChatReader::Attempt {
	std::atomic<bool> joined{false};
	std::atomic<bool> finished{false};
	std::mutex lock; // pairs with `changed`; the flags change under it
	std::condition_variable changed;

	// True the first time only.
	bool markJoined() { return !set(joined); }
	void finish() { set(finished); }

	// Whether the deadline passed with the attempt neither joined nor ended.
	bool waitUntil(std::chrono::steady_clock::time_point deadline)
	{
		std::unique_lock<std::mutex> waiting(lock);
		return !changed.wait_until(waiting, deadline, [this] { return joined || finished; });
	}

private:
	// Sets a flag and wakes the watchdog; returns the flag's old value.
	bool set(std::atomic<bool> &flag)
	{
		bool was;
		{
			std::lock_guard<std::mutex> guard(lock);
			was = flag.exchange(true);
		}
		changed.notify_all();
		return was;
	}
};

std::string guestNickLine()
{
	std::random_device device;
	uint32_t n = static_cast<uint32_t>(device()) % 899999u + 100000u;
	return "NICK justinfan" + std::to_string(n) + "\r\n";
}

TwitchChatReader::TwitchChatReader(MessageSink message, StatusSink status, ClearSink clear)
	: TwitchChatReader(std::move(message), std::move(status), std::move(clear), Timings())
{
}

TwitchChatReader::TwitchChatReader(MessageSink message, StatusSink status, ClearSink clear, Timings timings)
	: m_message(std::move(message)), m_status(std::move(status)), m_clear(std::move(clear)), m_timings(timings),
	  m_worker("Twitch chat reader")
{
}

TwitchChatReader::~TwitchChatReader()
{
	stop();
}

void TwitchChatReader::status(LinkState state, const std::string &detail)
{
	if (m_status)
		m_status(Platform::Twitch, LinkStatus{state, detail});
}

void TwitchChatReader::start(const std::string &channel)
{
	stop();
	if (channel.empty()) {
		status(LinkState::Disabled, "Not configured");
		return;
	}
	m_worker.start([this, channel] { run(channel); });
}

void TwitchChatReader::stop()
{
	m_worker.stop();
}

void TwitchChatReader::run(std::string channel)
{
	platform::WebSocketClient socket(m_timings.socket);
	// Published for the whole run, connects included, so that a stop never
	// waits for a connect to a stalled host.
	platform::SocketWorker::Published published(m_worker, socket);
	std::string buffer;
	while (m_worker.running()) {
		status(LinkState::Connecting, "Connecting");
		if (!socket.connect("twitch-chat", 443, "/")) {
			if (!m_worker.running())
				break;
			status(LinkState::Retry, "Twitch unreachable · retrying in 10 s");
			m_worker.pause(m_timings.retryTicks, m_timings.tickMs);
			socket.close();
			continue;
		}
		session(socket, channel, buffer);
		socket.close();
		if (!m_worker.running())
			break;
		status(LinkState::Retry, "Connection interrupted · retrying in 10 seconds");
		m_worker.pause(m_timings.retryTicks, m_timings.tickMs);
		buffer.clear();
	}
	status(LinkState::Disabled, "Disconnected");
}

void TwitchChatReader::session(platform::WebSocketClient &socket, const std::string &channel, std::string &buffer)
{
	socket.sendText(kCapLine);
	socket.sendText(guestNickLine());
	socket.sendText("JOIN #" + channel + "\r\n");

	Attempt attempt;
	// Ends and joins the watchdog however the session ends, an exception
	// from a sink included: a joinable thread must never be destroyed.
	struct Watchdog {
		Attempt &attempt;
		std::thread thread;
		~Watchdog()
		{
			attempt.finish();
			if (thread.joinable())
				thread.join();
		}
	} watchdog{attempt, std::thread([this, &socket, &attempt] {
			   runGuarded("Twitch join watchdog", [&] { watchJoin(&socket, &attempt); });
		   })};

	using Clock = std::chrono::steady_clock;
	// When the silence began; read at its first time-out (the receive
	// waited that long for nothing), not at every message.
	std::optional<Clock::time_point> quietSince;
	std::string payload;
	bool binary = false;
	while (m_worker.running()) {
		platform::ReceiveResult result = socket.receive(payload, binary);
		if (result == platform::ReceiveResult::Failed)
			break;
		if (result == platform::ReceiveResult::Timeout) {
			const Clock::time_point now = Clock::now();
			if (!quietSince)
				quietSince = now - std::chrono::milliseconds(m_timings.socket.receiveMs);
			// Twitch pings every few minutes; silence this long means the
			// connection died without telling us.
			if (now - *quietSince > std::chrono::milliseconds(m_timings.idleLimitMs))
				break;
			continue;
		}
		quietSince.reset();
		// The records of the messages that came in together reach the
		// pages together; the burst ends before the next wait.
		Burst burst;
		bool keepGoing = takeMessage(socket, attempt, channel, buffer, payload);
		while (keepGoing && socket.receiveBuffered(payload, binary) == platform::ReceiveResult::Message)
			keepGoing = takeMessage(socket, attempt, channel, buffer, payload);
		if (!keepGoing)
			break;
	}
}

bool TwitchChatReader::takeMessage(platform::WebSocketClient &socket, Attempt &attempt, const std::string &channel,
				   std::string &buffer, std::string &payload)
{
	// Usually the message ends with its last line: take it whole.
	if (buffer.empty())
		buffer.swap(payload);
	else
		buffer += payload;
	if (buffer.size() > m_timings.lineBufferCap)
		return false;
	return dispatchLines(socket, attempt, channel, buffer);
}

bool TwitchChatReader::dispatchLines(platform::WebSocketClient &socket, Attempt &attempt, const std::string &channel,
				     std::string &buffer)
{
	size_t start = 0;
	bool keepGoing = true;
	// One message for all the lines, so that its storage is reused.
	IrcMessage line;
	for (size_t end; keepGoing && (end = buffer.find("\r\n", start)) != std::string::npos; start = end + 2) {
		parseIrcLine(std::string_view(buffer).substr(start, end - start), line);
		const std::string_view command = line.command;
		if (command == "PING") {
			socket.sendText("PONG :" + std::string(line.trailing) + "\r\n");
		} else if (command == "JOIN" || command == "ROOMSTATE" || command == "366") {
			if (attempt.markJoined())
				status(LinkState::Connected, "Listening · @" + channel);
			if (command == "ROOMSTATE" && m_room)
				m_room(tagOr(line, "room-id", ""));
		} else if (command == "USERNOTICE") {
			ChatMessage m = fromUsernotice(line);
			if (!m.eventId.empty() && m_message)
				m_message(m);
		} else if (command == "PRIVMSG") {
			ChatMessage m = fromPrivmsg(line);
			if (!m.text.empty() && m_message)
				m_message(m);
		} else if (command == "CLEARMSG") {
			if (m_clear)
				m_clear(Platform::Twitch, tagOr(line, "target-msg-id", ""), std::string(),
					tagOr(line, "login", ""), std::string());
		} else if (command == "CLEARCHAT") {
			if (m_clear)
				m_clear(Platform::Twitch, std::string(), tagOr(line, "target-user-id", ""),
					std::string(line.trailing), tagOr(line, "ban-duration", ""));
		} else if (command == "RECONNECT") {
			keepGoing = false;
		} else if (command == "NOTICE") {
			if (!attempt.joined)
				status(LinkState::Error,
				       "Twitch rejected the connection: " + std::string(line.trailing));
		}
	}
	buffer.erase(0, start);
	return keepGoing;
}

void TwitchChatReader::watchJoin(platform::WebSocketClient *socket, Attempt *attempt)
{
	// A stop ends the session, and with it the wait.
	const auto deadline = std::chrono::steady_clock::now() +
			      std::chrono::milliseconds(int64_t(m_timings.joinTicks) * m_timings.tickMs);
	if (attempt->waitUntil(deadline) && m_worker.running()) {
		status(LinkState::Retry, "No response from Twitch · retrying");
		socket->abort();
	}
}

} // namespace vanteo
