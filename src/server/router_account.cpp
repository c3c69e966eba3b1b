#include "hub/chat_dock.h"
#include "common/json.h"
#include "common/obs_json.h"
#include "common/host.h"
#include "server/routes.h"
#include "twitch/chatters.h"
#include "twitch/emotes.h"
#include "twitch/helix.h"
#include "twitch/moderation.h"

// The Twitch sign-in ("/api/account", "/api/token") and every route that acts
// as the connected account. Those pass the account gate first: a connected
// account and a known broadcaster id. Helix calls run on the request's thread
// with copies taken under the hub lock, never while holding it.
namespace vanteo {

namespace {

// The account-bound request: the gate's copies of the hub's state.
struct Gated {
	ChatDock &hub;
	ChatDock::AccountContext ctx;
	const std::string &body;

	const HelixContext &helix() const { return ctx.helix; }
	const std::string &bid() const { return ctx.helix.broadcasterId; }
};

std::string routeSend(Gated &g)
{
	const std::string text = jsonField(g.body, "text");
	if (!text.empty() && text[0] == '/')
		return runChatCommand(g.helix(), text);
	std::string error;
	if (sendChat(g.helix(), text, error, jsonField(g.body, "replyTo")))
		return kReplyOk;
	return errorReply(error);
}

// The hub's emote catalogue; loaded (and kept) when the account worker has
// not filled it yet. The third-party groups come after Twitch's.
std::string routeEmotes(Gated &g)
{
	std::string json = g.hub.emoteCache();
	if (!json.empty())
		return g.hub.withThirdPartyGroups(json);
	std::string error;
	if (loadEmotes(g.helix(), json, error)) {
		g.hub.setEmoteCache(json);
		return g.hub.withThirdPartyGroups(json);
	}
	return errorReply(error.empty() ? "Emotes unavailable" : error);
}

std::string routeChatters(Gated &g)
{
	std::string json;
	std::string error;
	if (loadChatters(g.helix(), g.ctx.channel, json, error))
		return json;
	return errorReply(error);
}

// A raw Helix reply for the user card, or null when nothing came back.
std::string rawOrNull(const std::string &reply)
{
	return reply.find_first_not_of(" \t\r\n") == std::string::npos ? "null" : reply;
}

std::string routeUser(Gated &g)
{
	std::string id = jsonField(g.body, "id");
	const std::string login = jsonField(g.body, "login");
	if (id.empty() && login.empty())
		return errorReply("Missing user");
	// Encoded, so that a value from the page stays one query value.
	const std::string query = !id.empty() ? "id=" + urlEncode(id) : "login=" + urlEncode(login);
	std::string user;
	std::string error;
	if (!helixCall(g.helix(), "GET", "/helix/users?" + query, std::string(), user, error))
		return errorReply(error);
	if (id.empty()) {
		DataRef first(firstDataItem(user));
		id = dataString(first.get(), "id");
	}
	const std::string q = "broadcaster_id=" + g.bid() + "&user_id=" + urlEncode(id);
	std::string replies[3];
	const char *paths[3] = {"/helix/channels/followers?", "/helix/subscriptions?", "/helix/moderation/banned?"};
	for (int i = 0; i < 3; ++i) {
		std::string ignored;
		helixCall(g.helix(), "GET", paths[i] + q, std::string(), replies[i], ignored);
	}
	return "{\"user\":" + rawOrNull(user) + ",\"follow\":" + rawOrNull(replies[0]) +
	       ",\"sub\":" + rawOrNull(replies[1]) + ",\"ban\":" + rawOrNull(replies[2]) + "}";
}

// Pages may open these sites in the user's browser, nothing else.
const char *const kOpenablePrefixes[] = {
    "https://www.twitch.tv/",
    "https://dashboard.twitch.tv/",
    "https://streamelements.com/",
};

std::string routeOpen(Gated &g)
{
	const std::string url = jsonField(g.body, "url");
	for (const char *prefix : kOpenablePrefixes) {
		if (url.compare(0, std::char_traits<char>::length(prefix), prefix) == 0) {
			g.hub.postToGui([url] { openInBrowser(url); });
			return kReplyOk;
		}
	}
	return errorReply("URL not allowed");
}

std::string routeFeedHistory(Gated &g)
{
	std::string reply;
	std::string error;
	if (!helixCall(g.helix(), "GET", "/helix/channels/followers?first=100&broadcaster_id=" + g.bid(), std::string(),
		       reply, error))
		return "{\"follows\":null}";
	return "{\"follows\":" + rawOrNull(reply) + "}";
}

std::string routeAds(Gated &g)
{
	const std::string action = jsonField(g.body, "action");
	std::string method = "GET";
	std::string path = "/helix/channels/ads?broadcaster_id=" + g.bid();
	std::string request;
	if (action == "start") {
		long long length = jsonNumber(jsonField(g.body, "length"));
		if (length < 1)
			length = g.hub.settings().adLength;
		method = "POST";
		path = "/helix/channels/commercial";
		request = "{\"broadcaster_id\":" + jsonQuote(g.bid()) + ",\"length\":" + std::to_string(length) + "}";
	} else if (action == "snooze") {
		method = "POST";
		path = "/helix/channels/ads/schedule/snooze?broadcaster_id=" + g.bid();
	}
	std::string reply;
	std::string error;
	if (!helixCall(g.helix(), method, path, request, reply, error))
		return errorReply(error);
	return reply.find_first_not_of(" \t\r\n") == std::string::npos ? std::string(kReplyOk) : reply;
}

std::string routeAutomod(Gated &g)
{
	const bool allow = jsonField(g.body, "action") == "allow";
	std::string error;
	if (automodDecide(g.helix(), jsonField(g.body, "id"), allow, error))
		return kReplyOk;
	return errorReply(error);
}

std::string routeModerate(Gated &g)
{
	return moderateAction(g.helix(), g.body);
}

struct GatedRoute {
	const char *path;
	std::string (*handler)(Gated &);
};

const GatedRoute kGatedRoutes[] = {
    {"/api/send", routeSend},
    {"/api/emotes", routeEmotes},
    {"/api/user", routeUser},
    {"/api/open", routeOpen},
    {"/api/feed-history", routeFeedHistory},
    {"/api/ads", routeAds},
    {"/api/chatters", routeChatters},
    {"/api/automod", routeAutomod},
    {"/api/moderate", routeModerate},
};

} // namespace

std::string routeAccount(ChatDock &hub, const std::string &body)
{
	const std::string clientId = effectiveClientId(jsonField(body, "clientId"));
	if (clientId.empty())
		return errorReply("The Twitch Application Client ID is required");
	const std::string state = hub.signIns().issue();
	if (state.empty())
		return errorReply("Sign-in unavailable: no secure random source");
	hub.setClientId(clientId);
	hub.saveConfig();
	const std::string redirect = "http://localhost:" + std::to_string(hub.port()) + "/oauth";
	const std::string url = authorizeUrl(clientId, redirect, state);
	hub.postToGui([url] { openInBrowser(url); });
	return "{\"opened\":true,\"redirect\":" + jsonQuote(redirect) + "}";
}

// Needs no page token (Twitch's redirect carries none), so any page could
// post here: a token counts only together with the state of a sign-in this
// plug-in started, which only Twitch's redirect knows.
std::string routeToken(ChatDock &hub, const std::string &body)
{
	if (!hub.signIns().redeem(jsonField(body, "state")))
		return errorReply("Sign-in expired; connect again");
	const std::string token = jsonField(body, "token");
	TwitchAccount account;
	const TokenCheck check = validateToken(token, account);
	if (check == TokenCheck::Unanswered)
		return errorReply("Twitch unreachable");
	if (check != TokenCheck::Valid)
		return errorReply("Invalid token");
	const bool channelFilled = hub.connectAccount(account);
	hub.saveConfig();
	if (channelFilled) {
		hub.applyChannels();
	} else {
		hub.refreshAccount();
		hub.publishConfig();
	}
	return "{\"login\":" + jsonQuote(account.login) + "}";
}

std::string routeAccountBound(ChatDock &hub, const std::string &path, const std::string &body)
{
	Gated gated{hub, hub.accountContext(), body};
	HelixContext &helix = gated.ctx.helix;
	if (helix.account.token.empty())
		return errorReply("Connect the Twitch account first");
	if (helix.broadcasterId.empty()) {
		if (!lookupUserId(helix, gated.ctx.channel, helix.broadcasterId))
			return errorReply("Twitch channel not found");
		hub.setBroadcasterId(gated.ctx.channel, helix.broadcasterId);
	}
	for (const GatedRoute &route : kGatedRoutes) {
		if (path == route.path)
			return route.handler(gated);
	}
	return errorReply("Unknown request");
}

} // namespace vanteo
