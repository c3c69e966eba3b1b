#include "twitch/eventsub.h"

#include "common/endpoints.h"
#include "common/json.h"
#include "common/log.h"
#include "common/obs_json.h"
#include "twitch/helix.h"

#include <util/base.h>

#include <chrono>
#include <memory>

namespace vanteo {

namespace {

using endpoint_names::kTwitchEventSub;

const char kSocketPath[] = "/ws?keepalive_timeout_seconds=30";

bool startsWith(const std::string &text, const char *prefix)
{
	return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

struct Subscription {
	const char *type;
	bool withModerator; // the three types a moderator may have
	bool hypeTrain;     // version 2, falling back to 1
	const char *version;
};

const Subscription kSubscriptions[] = {
    {"automod.message.hold", true, false, "2"},
    {"automod.message.update", true, false, "2"},
    {"channel.follow", true, false, "2"},
    {"channel.channel_points_custom_reward_redemption.add", false, false, "1"},
    {"channel.poll.begin", false, false, "1"},
    {"channel.poll.progress", false, false, "1"},
    {"channel.poll.end", false, false, "1"},
    {"channel.prediction.begin", false, false, "1"},
    {"channel.prediction.progress", false, false, "1"},
    {"channel.prediction.lock", false, false, "1"},
    {"channel.prediction.end", false, false, "1"},
    {"channel.hype_train.begin", false, true, "2"},
    {"channel.hype_train.progress", false, true, "2"},
    {"channel.hype_train.end", false, true, "2"},
};

// Where a "session_reconnect" may send us: the EventSub host only.
bool reconnectTarget(const std::string &url, std::string &hostOut, std::string &pathOut)
{
	static const std::string scheme = "wss://";
	if (url.compare(0, scheme.size(), scheme) != 0)
		return false;
	const size_t slash = url.find('/', scheme.size());
	const std::string authority =
	    url.substr(scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
	pathOut = slash == std::string::npos ? "/" : url.substr(slash);
	const Endpoint ours = endpoint(kTwitchEventSub);
	if (authority != ours.authority() && authority != endpointDefaultHost(kTwitchEventSub))
		return false;
	for (char c : pathOut) {
		if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f)
			return false;
	}
	hostOut = authority == ours.authority() ? std::string(kTwitchEventSub) : authority;
	return true;
}

} // namespace

std::string heldMessageJson(const HeldMessage &h)
{
	return "{\"id\":" + jsonQuote(h.id) + ",\"userId\":" + jsonQuote(h.userId) + ",\"name\":" + jsonQuote(h.name) +
	       ",\"text\":" + jsonQuote(h.text) + ",\"reason\":" + jsonQuote(h.reason) +
	       ",\"category\":" + jsonQuote(h.category) + (h.resolved ? ",\"resolved\":true" : ",\"resolved\":false") +
	       (h.approved ? ",\"approved\":true}" : ",\"approved\":false}");
}

bool subscribe(const HelixContext &ctx, const std::string &sessionId, const std::string &type,
	       const std::string &version, std::string &errorOut, bool withModerator)
{
	DataRef condition(obs_data_create());
	obs_data_set_string(condition.get(), "broadcaster_user_id", ctx.broadcasterId.c_str());
	if (withModerator)
		obs_data_set_string(condition.get(), "moderator_user_id", ctx.account.userId.c_str());
	DataRef transport(obs_data_create());
	obs_data_set_string(transport.get(), "method", "websocket");
	obs_data_set_string(transport.get(), "session_id", sessionId.c_str());
	DataRef request(obs_data_create());
	obs_data_set_string(request.get(), "type", type.c_str());
	obs_data_set_string(request.get(), "version", version.c_str());
	obs_data_set_obj(request.get(), "condition", condition.get());
	obs_data_set_obj(request.get(), "transport", transport.get());

	std::string reply;
	uint32_t status = 0;
	if (!helixRequest(ctx, "POST", "/helix/eventsub/subscriptions", request.json(), reply, status)) {
		errorOut = "Twitch unreachable";
		return false;
	}
	if (status == 200 || status == 202)
		return true;
	errorOut = helixError(reply, static_cast<long>(status));
	return false;
}

void dispatchNotification(const std::string &message, const EventSubSession::HeldSink &held,
			  const EventSubSession::TextSink &activity, const EventSubSession::TextSink &highlight)
{
	DataRef root(DataRef::parse(message));
	if (!root)
		return;
	DataRef metadata(obs_data_get_obj(root.get(), "metadata"));
	const std::string type = dataString(metadata.get(), "subscription_type");
	DataRef payload(obs_data_get_obj(root.get(), "payload"));
	DataRef event(payload ? obs_data_get_obj(payload.get(), "event") : nullptr);
	if (!event)
		return;
	obs_data_t *e = event.get();

	if (startsWith(type, "automod.message")) {
		HeldMessage h;
		h.id = dataString(e, "message_id");
		h.userId = dataString(e, "user_id");
		h.name = dataString(e, "user_name");
		h.reason = dataString(e, "reason");
		DataRef text(obs_data_get_obj(e, "message"));
		h.text = dataString(text.get(), "text");
		DataRef automod(obs_data_get_obj(e, "automod"));
		h.category = dataString(automod.get(), "category");
		h.resolved = type == "automod.message.update";
		const std::string status = dataString(e, "status");
		h.approved = status == "Approved" || status == "approved";
		if (!h.id.empty() && held)
			held(h);
	}
	if (highlight && (startsWith(type, "channel.poll.") || startsWith(type, "channel.prediction.") ||
			  startsWith(type, "channel.hype_train.")))
		highlight("{\"type\":" + jsonQuote(type) + ",\"event\":" + event.json() + "}");
	if (type == "channel.follow" && activity) {
		DataRef item(obs_data_create());
		obs_data_set_string(item.get(), "platform", "twitch");
		obs_data_set_string(item.get(), "type", "follow");
		obs_data_set_string(item.get(), "userId", dataString(e, "user_id").c_str());
		obs_data_set_string(item.get(), "name", dataString(e, "user_name").c_str());
		obs_data_set_string(item.get(), "login", dataString(e, "user_login").c_str());
		obs_data_set_string(item.get(), "time", dataString(e, "followed_at").c_str());
		activity(item.json());
	}
	if (type == "channel.channel_points_custom_reward_redemption.add" && activity) {
		DataRef reward(obs_data_get_obj(e, "reward"));
		DataRef item(obs_data_create());
		obs_data_set_string(item.get(), "platform", "twitch");
		obs_data_set_string(item.get(), "type", "redeem");
		obs_data_set_string(item.get(), "id", dataString(e, "id").c_str());
		obs_data_set_string(item.get(), "userId", dataString(e, "user_id").c_str());
		obs_data_set_string(item.get(), "name", dataString(e, "user_name").c_str());
		obs_data_set_string(item.get(), "login", dataString(e, "user_login").c_str());
		obs_data_set_string(item.get(), "input", dataString(e, "user_input").c_str());
		obs_data_set_string(item.get(), "reward", dataString(reward.get(), "title").c_str());
		obs_data_set_int(item.get(), "cost", reward ? obs_data_get_int(reward.get(), "cost") : 0);
		obs_data_set_string(item.get(), "time", dataString(e, "redeemed_at").c_str());
		activity(item.json());
	}
}

// What one worker run works with: its own copies, taken at start.
struct EventSubSession::Run {
	HelixContext ctx;
	HeldSink held;
	TextSink automod;
	TextSink activity;
	TextSink highlight;
};

EventSubSession::EventSubSession() : EventSubSession(Timings()) {}

EventSubSession::EventSubSession(Timings timings) : m_timings(timings), m_worker("EventSub session") {}

EventSubSession::~EventSubSession()
{
	stop();
}

void EventSubSession::start(const HelixContext &ctx, HeldSink held, TextSink automod, TextSink activity,
			    TextSink highlight)
{
	stop();
	if (ctx.account.token.empty() || ctx.broadcasterId.empty())
		return;
	auto run = std::make_shared<Run>(
	    Run{ctx, std::move(held), std::move(automod), std::move(activity), std::move(highlight)});
	m_worker.start([this, run] { worker(run); });
}

void EventSubSession::stop()
{
	m_worker.stop();
}

void EventSubSession::worker(std::shared_ptr<Run> run)
{
	using Clock = std::chrono::steady_clock;
	std::string host = kTwitchEventSub;
	std::string path = kSocketPath;
	std::string lastSessionId;

	while (m_worker.running()) {
		// Both sockets outlive the guard below, which withdraws whichever is
		// published before they go, whatever ends the iteration.
		auto socket = std::make_unique<platform::WebSocketClient>(m_timings.socket);
		std::unique_ptr<platform::WebSocketClient> successor;
		struct Withdraw {
			platform::SocketWorker &worker;
			~Withdraw() { worker.publish(nullptr); }
		} withdraw{m_worker};

		// Published before connecting, so that stop aborts a connect in
		// progress too (and one that comes first makes it fail at once).
		m_worker.publish(socket.get());
		if (!m_worker.running() || !socket->connect(host, 443, path)) {
			m_worker.publish(nullptr);
			if (!m_worker.running())
				break;
			host = kTwitchEventSub;
			path = kSocketPath;
			if (run->automod)
				run->automod("Event channel unreachable");
			m_worker.pause(m_timings.failedPauseTicks, m_timings.tickMs);
			continue;
		}

		int keepaliveMs = 30000 + m_timings.keepaliveGraceMs;
		Clock::time_point lastHeard = Clock::now();
		bool welcomed = false;
		// The session id a reconnect carries over: its subscriptions move
		// with it.
		std::string carriedSessionId;

		auto onWelcome = [&](obs_data_t *root) {
			welcomed = true;
			DataRef payload(obs_data_get_obj(root, "payload"));
			DataRef session(payload ? obs_data_get_obj(payload.get(), "session") : nullptr);
			const std::string sessionId = dataString(session.get(), "id");
			const long long keepalive =
			    session ? obs_data_get_int(session.get(), "keepalive_timeout_seconds") : 0;
			if (keepalive > 0)
				keepaliveMs = static_cast<int>(keepalive) * 1000 + m_timings.keepaliveGraceMs;
			const bool carried = !carriedSessionId.empty() && sessionId == carriedSessionId;
			carriedSessionId.clear();
			lastSessionId = sessionId;
			if (!carried)
				subscribeAll(*run, sessionId);
		};
		auto handle = [&](const std::string &text, bool fromOld) -> std::string {
			DataRef root(DataRef::parse(text));
			if (!root)
				return std::string();
			DataRef metadata(obs_data_get_obj(root.get(), "metadata"));
			const std::string messageType = dataString(metadata.get(), "message_type");
			if (messageType == "session_welcome" && !welcomed && !fromOld)
				onWelcome(root.get());
			else if (messageType == "notification")
				dispatchNotification(text, run->held, run->activity, run->highlight);
			else if (messageType == "session_reconnect" && !fromOld) {
				DataRef payload(obs_data_get_obj(root.get(), "payload"));
				DataRef session(payload ? obs_data_get_obj(payload.get(), "session") : nullptr);
				return dataString(session.get(), "reconnect_url");
			}
			return std::string();
		};

		while (m_worker.running()) {
			std::string text;
			bool binary = false;
			const platform::ReceiveResult result = socket->receive(text, binary);
			if (result == platform::ReceiveResult::Failed)
				break;
			if (result == platform::ReceiveResult::Timeout) {
				if (Clock::now() - lastHeard > std::chrono::milliseconds(keepaliveMs)) {
					logLine(LOG_INFO, "EventSub: no keep-alive, reconnecting");
					break;
				}
				continue;
			}
			lastHeard = Clock::now();
			const std::string reconnectUrl = handle(text, false);
			if (reconnectUrl.empty())
				continue;
			std::string nextHost;
			std::string nextPath;
			if (!reconnectTarget(reconnectUrl, nextHost, nextPath)) {
				logLine(LOG_WARNING, "EventSub: reconnect address refused");
				continue;
			}
			// Twitch moves the session: the new socket is opened while the
			// old one stays open, and the old one is read to its end once
			// the new one is welcomed, so that nothing sent in between is
			// lost.
			successor = std::make_unique<platform::WebSocketClient>(m_timings.socket);
			m_worker.publish(successor.get());
			std::string welcome;
			const bool moved = m_worker.running() && successor->connect(nextHost, 443, nextPath) &&
					   awaitWelcome(*successor, keepaliveMs, welcome);
			m_worker.publish(socket.get());
			if (!m_worker.running())
				break;
			if (!moved) {
				// The old socket carries on until Twitch closes it.
				logLine(LOG_INFO, "EventSub: reconnect address unreachable");
				successor->close();
				successor.reset();
				continue;
			}
			for (;;) {
				const platform::ReceiveResult old = socket->receive(text, binary);
				if (old != platform::ReceiveResult::Message || !m_worker.running())
					break;
				handle(text, true);
			}
			socket->close();
			socket.swap(successor);
			m_worker.publish(socket.get());
			successor.reset();
			host = nextHost;
			path = nextPath;
			carriedSessionId = lastSessionId;
			welcomed = false;
			lastHeard = Clock::now();
			handle(welcome, false);
		}

		m_worker.publish(nullptr);
		// Stopped: no closing handshake to wait for.
		if (!m_worker.running())
			socket->abort();
		socket->close();
		if (!m_worker.running())
			break;
		host = kTwitchEventSub;
		path = kSocketPath;
		m_worker.pause(m_timings.droppedPauseTicks, m_timings.tickMs);
	}
}

// Reads the new socket of a reconnect up to its welcome (the first message
// Twitch sends on it); false when something else comes first, it fails, or
// nothing comes within the keep-alive time.
bool EventSubSession::awaitWelcome(platform::WebSocketClient &socket, int keepaliveMs, std::string &welcome)
{
	using Clock = std::chrono::steady_clock;
	const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(keepaliveMs);
	while (m_worker.running() && Clock::now() < deadline) {
		bool binary = false;
		const platform::ReceiveResult result = socket.receive(welcome, binary);
		if (result == platform::ReceiveResult::Failed)
			return false;
		if (result == platform::ReceiveResult::Message) {
			DataRef root(DataRef::parse(welcome));
			DataRef metadata(root ? obs_data_get_obj(root.get(), "metadata") : nullptr);
			return dataString(metadata.get(), "message_type") == "session_welcome";
		}
	}
	return false;
}

// Makes the subscriptions of a new session; reports the AutoMod outcome. A
// stop ends the loop between requests (and aborts the one in flight).
void EventSubSession::subscribeAll(const Run &run, const std::string &sessionId)
{
	std::string error;
	bool holdOk = false;
	const bool broadcaster = run.ctx.account.userId == run.ctx.broadcasterId;
	for (const Subscription &sub : kSubscriptions) {
		if (!m_worker.running())
			return;
		if (!sub.withModerator && !broadcaster)
			continue;
		std::string failure;
		bool ok = subscribe(run.ctx, sessionId, sub.type, sub.version, failure, sub.withModerator);
		if (!ok && sub.hypeTrain && m_worker.running()) {
			error = failure;
			ok = subscribe(run.ctx, sessionId, sub.type, "1", failure, false);
		}
		if (!ok)
			error = failure;
		if (std::string(sub.type) == "automod.message.hold")
			holdOk = ok;
	}
	if (run.automod && m_worker.running())
		run.automod(holdOk ? std::string("AutoMod connected") : "AutoMod inactive: " + error);
}

} // namespace vanteo
