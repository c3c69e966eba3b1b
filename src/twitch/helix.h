#pragma once

#include "common/url_encode.h"
#include "twitch/account.h"

#include <cstdint>
#include <string>

// The Twitch Helix client: every call made on behalf of the streamer's
// account. All functions block their thread while Twitch answers (the
// 15-second time-outs of platform/https.h) and keep no state, so any thread
// may call them; callers pass copies of the account taken under the hub lock.
namespace vanteo {

// Who a Helix call acts for: the account, the client id in force (the
// built-in one first) and the configured channel's broadcaster id ("" while
// unknown, and for calls that need none). Copied under the hub lock.
struct HelixContext {
	TwitchAccount account;
	std::string clientId;
	std::string broadcasterId;
};

// The "message" of a Helix error body when non-empty, else
// "Twitch replied <status>".
std::string helixError(const std::string &responseBody, long status);

// method on the Helix host with the account's headers; path starts with
// "/helix/" and carries the query. A non-empty body is sent with the JSON
// content type. True once Twitch answered, whatever the status.
bool helixRequest(const HelixContext &ctx, const std::string &method, const std::string &path, const std::string &body,
		  std::string &responseOut, uint32_t &statusOut);

// helixRequest that counts a 2xx answer only: true for one (responseOut
// holds the body); otherwise errorOut is "Twitch unreachable" or
// helixError(), and responseOut keeps Twitch's body.
bool helixCall(const HelixContext &ctx, const std::string &method, const std::string &path, const std::string &body,
	       std::string &responseOut, std::string &errorOut);

// The Helix user id of a login; false for an empty login, any failure or an
// unknown login.
bool lookupUserId(const HelixContext &ctx, const std::string &login, std::string &idOut);

// What the identity host said about a token.
enum class TokenCheck {
	Valid,      // a user token: the account was filled in
	Rejected,   // refused (401), not a user token, or unusable: drop it
	Unanswered, // no answer (network, time-out, abort, server trouble): keep it
};

// Asks the identity host about token. When Valid, accountOut takes the token,
// login, user id and granted scopes (its refresh token is left alone);
// otherwise accountOut is unchanged.
TokenCheck validateToken(const std::string &token, TwitchAccount &accountOut);

// True when the account holds every scope the plug-in needs.
bool hasAllScopes(const TwitchAccount &account);

// The sign-in page on the identity host for the implicit grant; Twitch hands
// `state` back beside the token.
std::string authorizeUrl(const std::string &clientId, const std::string &redirectUri, const std::string &state);

// The scopes asked for at sign-in, joined with "+".
std::string requestedScopes();

// Posts one chat message as the account, as a reply when replyParentId is
// not empty. False for an empty message (errorOut untouched), a failed call
// or a message Twitch dropped (errorOut says why).
bool sendChat(const HelixContext &ctx, const std::string &message, std::string &errorOut,
	      const std::string &replyParentId);

// Allows or denies a message AutoMod holds for review.
bool automodDecide(const HelixContext &ctx, const std::string &messageId, bool allow, std::string &errorOut);

} // namespace vanteo
