#include "twitch/eventsub.h"

#include "hub/endpoints.h"
#include "hub/json.h"
#include "hub/log.h"
#include "hub/obs_json.h"
#include "platform/https.h"
#include "twitch/helix.h"

#include <util/base.h>

#include <chrono>

namespace vanteo {

namespace {

using endpoint_names::kTwitchEventSub;
using endpoint_names::kTwitchHelix;

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
	const std::string authority = url.substr(scheme.size(), slash == std::string::npos ? std::string::npos
											  : slash - scheme.size());
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

bool subscribe(const TwitchAccount &account, const std::string &clientId, const std::string &sessionId,
	       const std::string &type, const std::string &version, const std::string &broadcasterId,
	       std::string &errorOut, bool withModerator)
{
	DataRef condition(obs_data_create());
	obs_data_set_string(condition.get(), "broadcaster_user_id", broadcasterId.c_str());
	if (withModerator)
		obs_data_set_string(condition.get(), "moderator_user_id", account.userId.c_str());
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
	if (!platform::httpsRequest("POST", kTwitchHelix, "/helix/eventsub/subscriptions",
				    platform::helixHeaders(account.token, clientId, true), request.json(), reply,
				    status)) {
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
		highlight("{\"type\":\"" + type + "\",\"event\":" + event.json() + "}");
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
	TwitchAccount account;
	std::string clientId;
	std::string broadcasterId;
	HeldSink held;
	TextSink automod;
	TextSink activity;
	TextSink highlight;
};

EventSubSession::EventSubSession() : EventSubSession(Timings()) {}

EventSubSession::EventSubSession(Timings timings) : m_timings(timings) {}

EventSubSession::~EventSubSession()
{
	stop();
}

void EventSubSession::start(const TwitchAccount &account, const std::string &clientId,
			    const std::string &broadcasterId, HeldSink held, TextSink automod, TextSink activity,
			    TextSink highlight)
{
	stop();
	if (account.token.empty() || broadcasterId.empty())
		return;
	auto run = std::make_shared<Run>(Run{account, clientId, broadcasterId, std::move(held), std::move(automod),
					     std::move(activity), std::move(highlight)});
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
	bool reconnecting = false;

	while (m_worker.running()) {
		platform::WebSocketClient socket(m_timings.socket);
		m_worker.publish(&socket);
		// Published before connecting, so that stop aborts a connect in
		// progress too; a stop just before publishing is caught by the check.
		if (!m_worker.running() || !socket.connect(host, 443, path)) {
			m_worker.publish(nullptr);
			if (!m_worker.running())
				break;
			host = kTwitchEventSub;
			path = kSocketPath;
			reconnecting = false;
			if (run->automod)
				run->automod("Event channel unreachable");
			m_worker.pause(m_timings.failedPauseTicks, m_timings.tickMs);
			socket.close();
			continue;
		}

		bool welcomed = false;
		std::string reconnectHost;
		std::string reconnectPath;
		int keepaliveMs = 30000 + m_timings.keepaliveGraceMs;
		Clock::time_point lastHeard = Clock::now();
		while (m_worker.running()) {
			std::string text;
			bool binary = false;
			const platform::ReceiveResult result = socket.receive(text, binary);
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
			DataRef root(DataRef::parse(text));
			if (!root)
				continue;
			DataRef metadata(obs_data_get_obj(root.get(), "metadata"));
			const std::string messageType = dataString(metadata.get(), "message_type");
			if (messageType == "session_welcome" && !welcomed) {
				welcomed = true;
				DataRef payload(obs_data_get_obj(root.get(), "payload"));
				DataRef session(payload ? obs_data_get_obj(payload.get(), "session") : nullptr);
				const std::string sessionId = dataString(session.get(), "id");
				const long long keepalive = session ? obs_data_get_int(session.get(), "keepalive_timeout_seconds") : 0;
				if (keepalive > 0)
					keepaliveMs = static_cast<int>(keepalive) * 1000 + m_timings.keepaliveGraceMs;
				// After a reconnect Twitch moves the subscriptions along with
				// the session; a new session id needs them made again.
				if (reconnecting && sessionId == lastSessionId) {
					reconnecting = false;
					continue;
				}
				reconnecting = false;
				lastSessionId = sessionId;
				std::string error;
				bool holdOk = false;
				const bool broadcaster = run->account.userId == run->broadcasterId;
				for (const Subscription &sub : kSubscriptions) {
					if (!sub.withModerator && !broadcaster)
						continue;
					std::string failure;
					bool ok = subscribe(run->account, run->clientId, sessionId, sub.type, sub.version,
							    run->broadcasterId, failure, sub.withModerator);
					if (!ok && sub.hypeTrain) {
						error = failure;
						ok = subscribe(run->account, run->clientId, sessionId, sub.type, "1",
							       run->broadcasterId, failure, false);
					}
					if (!ok)
						error = failure;
					if (std::string(sub.type) == "automod.message.hold")
						holdOk = ok;
				}
				if (run->automod)
					run->automod(holdOk ? std::string("AutoMod connected") : "AutoMod inactive: " + error);
			} else if (messageType == "notification") {
				dispatchNotification(text, run->held, run->activity, run->highlight);
			} else if (messageType == "session_reconnect") {
				DataRef payload(obs_data_get_obj(root.get(), "payload"));
				DataRef session(payload ? obs_data_get_obj(payload.get(), "session") : nullptr);
				const std::string url = dataString(session.get(), "reconnect_url");
				if (reconnectTarget(url, reconnectHost, reconnectPath))
					break;
				logLine(LOG_WARNING, "EventSub: reconnect address refused");
			}
		}

		m_worker.publish(nullptr);
		socket.close();
		if (!m_worker.running())
			break;
		if (!reconnectHost.empty()) {
			// Twitch asked us to move: go at once, the old socket closes soon.
			host = reconnectHost;
			path = reconnectPath;
			reconnecting = true;
			continue;
		}
		host = kTwitchEventSub;
		path = kSocketPath;
		reconnecting = false;
		m_worker.pause(m_timings.droppedPauseTicks, m_timings.tickMs);
	}
}

} // namespace vanteo
