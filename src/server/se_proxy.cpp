#include "hub/chat_dock.h"
#include "common/endpoints.h"
#include "common/json.h"
#include "platform/https.h"
#include "server/routes.h"

#include <cstdint>

// "/api/se": the activity page reads and replays the streamer's
// StreamElements activity feed and drives the StreamElements overlay player
// through the plug-in, which adds the token to each call, so the page never
// sees it. The calls run on the request's thread, outside the hub lock.
namespace vanteo {

namespace {

const char kApiRoot[] = "/kappa/v2/";
const char kHistoryTypes[] = "follow,subscriber,tip,cheer,raid,host,communityGiftPurchase,"
			     "redemption,merch,superchat,sponsor";
const char *const kPlayerActions[] = {"pause", "unpause", "mute", "unmute", "skip", "playNext", "reload"};

struct SeReply {
	bool done = false;
	uint32_t status = 0;
	std::string body;
	bool ok() const { return done && status >= 200 && status <= 299; }
};

SeReply seCall(const char *method, const std::string &token, const std::string &path,
	       const std::string &body = std::string())
{
	const std::string headers =
	    "Authorization: Bearer " + token + "\r\nContent-Type: application/json\r\nAccept: application/json\r\n";
	SeReply reply;
	// The token was pasted by the user: it must not add header lines.
	if (!platform::isHeaderSafe(token))
		return reply;
	reply.done = platform::httpsRequest(method, endpoint_names::kStreamElements, path, headers, body, reply.body,
					    reply.status);
	return reply;
}

std::string returnedError(const SeReply &reply)
{
	return errorReply("StreamElements returned " + std::to_string(reply.status));
}

bool isPlayerAction(const std::string &action)
{
	for (const char *known : kPlayerActions) {
		if (action == known)
			return true;
	}
	return false;
}

} // namespace

std::string routeStreamElements(ChatDock &hub, const std::string &body)
{
	std::string token;
	std::string channel;
	hub.streamElements(token, channel);
	if (token.empty())
		return errorReply("Connect StreamElements from the dock settings");

	if (channel.empty()) {
		SeReply me = seCall("GET", token, std::string(kApiRoot) + "channels/me");
		if (!me.done || me.status != 200)
			return errorReply("StreamElements rejected the token (response " + std::to_string(me.status) +
					  ")");
		channel = jsonField(me.body, "_id");
		hub.rememberStreamElementsChannel(token, channel);
	}

	const std::string action = jsonField(body, "action");
	if (action == "history") {
		SeReply history =
		    seCall("GET", token,
			   std::string(kApiRoot) + "activities/" + channel + "?limit=100&types=" + kHistoryTypes);
		if (!history.done || history.status != 200)
			return returnedError(history);
		return history.body;
	}
	if (action == "replay") {
		const std::string activity = jsonField(body, "activity");
		if (activity.empty())
			return errorReply("Missing activity");
		SeReply replay =
		    seCall("POST", token, std::string(kApiRoot) + "activities/" + channel + "/mock", activity);
		return replay.ok() ? kReplyOk : returnedError(replay);
	}
	if (isPlayerAction(action)) {
		SeReply sent = seCall("PUT", token, std::string(kApiRoot) + "overlays/" + channel + "/action",
				      "{\"action\":" + jsonQuote(action) + "}");
		return sent.ok() ? kReplyOk : returnedError(sent);
	}
	return errorReply("Unknown action");
}

} // namespace vanteo
