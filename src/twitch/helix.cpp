#include "twitch/helix.h"

#include "common/endpoints.h"
#include "common/obs_json.h"
#include "platform/https.h"

#include <cstdint>

namespace vanteo {

namespace {

using endpoint_names::kTwitchHelix;
using endpoint_names::kTwitchId;

// Asked for at sign-in, in this order. The first entries marked false are
// not needed afterwards (the anonymous chat reader covers them).
struct Scope {
	const char *name;
	bool required;
};
const Scope kScopes[] = {
    {"user:read:chat", false},
    {"user:write:chat", true},
    {"chat:read", false},
    {"chat:edit", false},
    {"user:read:emotes", true},
    {"moderator:manage:banned_users", true},
    {"moderator:manage:chat_messages", true},
    {"moderator:manage:chat_settings", true},
    {"moderator:manage:automod", true},
    {"moderator:read:chatters", true},
    {"moderation:read", true},
    {"channel:read:vips", true},
    {"channel:manage:moderators", true},
    {"channel:manage:vips", true},
    {"user:manage:chat_color", true},
    {"user:manage:blocked_users", true},
    {"channel:manage:raids", true},
    {"moderator:manage:announcements", true},
    {"moderator:manage:shoutouts", true},
    {"channel:manage:broadcast", true},
    {"channel:edit:commercial", true},
    {"moderator:read:followers", true},
    {"channel:read:subscriptions", true},
    {"channel:read:ads", true},
    {"channel:manage:ads", true},
    {"channel:read:redemptions", true},
    {"moderator:manage:warnings", true},
    {"channel:read:polls", true},
    {"channel:read:predictions", true},
    {"channel:read:hype_train", true},
};

// The scope list of a validation reply, read from its text: the quoted
// strings between the "[" after "scopes" and the next "]".
std::vector<std::string> scanScopes(const std::string &reply)
{
	std::vector<std::string> scopes;
	const size_t key = reply.find("\"scopes\"");
	if (key == std::string::npos)
		return scopes;
	const size_t open = reply.find('[', key);
	if (open == std::string::npos)
		return scopes;
	const size_t close = reply.find(']', open);
	if (close == std::string::npos)
		return scopes;
	size_t at = open;
	while (true) {
		const size_t begin = reply.find('"', at + 1);
		if (begin == std::string::npos || begin > close)
			break;
		const size_t end = reply.find('"', begin + 1);
		if (end == std::string::npos || end > close)
			break;
		scopes.push_back(reply.substr(begin + 1, end - begin - 1));
		at = end;
	}
	return scopes;
}

} // namespace

std::string helixError(const std::string &responseBody, long status)
{
	DataRef root(DataRef::parse(responseBody));
	std::string message = dataString(root.get(), "message");
	if (!message.empty())
		return message;
	return "Twitch replied " + std::to_string(status);
}

bool helixRequest(const HelixContext &ctx, const std::string &method, const std::string &path, const std::string &body,
		  std::string &responseOut, uint32_t &statusOut)
{
	const std::string headers = platform::helixHeaders(ctx.account.token, ctx.clientId, !body.empty());
	return platform::httpsRequest(method, kTwitchHelix, path, headers, body, responseOut, statusOut);
}

bool helixCall(const HelixContext &ctx, const std::string &method, const std::string &path, const std::string &body,
	       std::string &responseOut, std::string &errorOut)
{
	uint32_t status = 0;
	if (!helixRequest(ctx, method, path, body, responseOut, status)) {
		errorOut = "Twitch unreachable";
		return false;
	}
	if (status >= 200 && status <= 299)
		return true;
	errorOut = helixError(responseOut, static_cast<long>(status));
	return false;
}

bool lookupUserId(const HelixContext &ctx, const std::string &login, std::string &idOut)
{
	if (login.empty())
		return false;
	std::string body;
	uint32_t status = 0;
	if (!helixRequest(ctx, "GET", "/helix/users?login=" + urlEncode(login), std::string(), body, status) ||
	    status != 200)
		return false;
	DataRef first(firstDataItem(body));
	idOut = dataString(first.get(), "id");
	return !idOut.empty();
}

TokenCheck validateToken(const std::string &token, TwitchAccount &accountOut)
{
	if (token.empty() || !platform::isHeaderSafe(token))
		return TokenCheck::Rejected;
	std::string body;
	uint32_t status = 0;
	if (!platform::httpsGet(kTwitchId, "/oauth2/validate", body, status, "Authorization: OAuth " + token + "\r\n"))
		return TokenCheck::Unanswered;
	// Only Twitch's own refusal is final; anything else may pass.
	if (status == 401)
		return TokenCheck::Rejected;
	if (status != 200)
		return TokenCheck::Unanswered;
	DataRef root(DataRef::parse(body));
	const std::string userId = dataString(root.get(), "user_id");
	if (userId.empty())
		return TokenCheck::Rejected;
	accountOut.token = token;
	accountOut.login = dataString(root.get(), "login");
	accountOut.userId = userId;
	accountOut.scopes = scanScopes(body);
	return TokenCheck::Valid;
}

bool hasAllScopes(const TwitchAccount &account)
{
	if (account.scopes.empty())
		return false;
	for (const Scope &scope : kScopes) {
		if (!scope.required)
			continue;
		bool found = false;
		for (const std::string &granted : account.scopes) {
			if (granted == scope.name) {
				found = true;
				break;
			}
		}
		if (!found)
			return false;
	}
	return true;
}

std::string requestedScopes()
{
	std::string joined;
	for (const Scope &scope : kScopes) {
		if (!joined.empty())
			joined += '+';
		joined += scope.name;
	}
	return joined;
}

std::string authorizeUrl(const std::string &clientId, const std::string &redirectUri, const std::string &state)
{
	return "https://" + endpoint(kTwitchId).authority() + "/oauth2/authorize?client_id=" + urlEncode(clientId) +
	       "&redirect_uri=" + urlEncode(redirectUri) +
	       "&response_type=token&force_verify=true&scope=" + requestedScopes() + "&state=" + urlEncode(state);
}

bool sendChat(const HelixContext &ctx, const std::string &message, std::string &errorOut,
	      const std::string &replyParentId)
{
	if (message.empty())
		return false;
	DataRef request(obs_data_create());
	obs_data_set_string(request.get(), "broadcaster_id", ctx.broadcasterId.c_str());
	obs_data_set_string(request.get(), "sender_id", ctx.account.userId.c_str());
	obs_data_set_string(request.get(), "message", message.c_str());
	if (!replyParentId.empty())
		obs_data_set_string(request.get(), "reply_parent_message_id", replyParentId.c_str());

	std::string body;
	uint32_t status = 0;
	if (!helixRequest(ctx, "POST", "/helix/chat/messages", request.json(), body, status)) {
		errorOut = "Twitch unreachable";
		return false;
	}
	if (status != 200) {
		errorOut = helixError(body, static_cast<long>(status));
		return false;
	}
	DataRef first(firstDataItem(body));
	if (!first)
		return true;
	if (obs_data_get_bool(first.get(), "is_sent"))
		return true;
	DataRef reason(obs_data_get_obj(first.get(), "drop_reason"));
	errorOut = dataString(reason.get(), "message");
	if (errorOut.empty())
		errorOut = "Message denied by Twitch";
	return false;
}

bool automodDecide(const HelixContext &ctx, const std::string &messageId, bool allow, std::string &errorOut)
{
	DataRef request(obs_data_create());
	obs_data_set_string(request.get(), "user_id", ctx.account.userId.c_str());
	obs_data_set_string(request.get(), "msg_id", messageId.c_str());
	obs_data_set_string(request.get(), "action", allow ? "ALLOW" : "DENY");
	std::string body;
	uint32_t status = 0;
	if (!helixRequest(ctx, "POST", "/helix/moderation/automod/message", request.json(), body, status)) {
		errorOut = "Twitch unreachable";
		return false;
	}
	if (status == 200 || status == 204)
		return true;
	errorOut = helixError(body, static_cast<long>(status));
	return false;
}

} // namespace vanteo
