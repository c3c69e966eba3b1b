#pragma once

#include "feed/link_status.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The signing service turns a room id into a signed push address for the
// room's WebSocket. This file holds the request, the reading and judgement
// of the answer, and the WebSocket request built from it; the session
// (tiktok_client.h) only does the I/O. Pure functions; any thread.
namespace vanteo {

// What the signing answer's protobuf body carries.
struct SigningAnswer {
	std::string pushAddress;                                      // field 10, e.g. wss://host/webcast/im/push/v2/
	std::string cursor;                                           // field 2
	std::string internalExt;                                      // field 5
	std::vector<std::pair<std::string, std::string>> routeParams; // field 7: 1 key, 2 value
};

struct SigningVerdict {
	bool ok = false;
	LinkState state = LinkState::Retry; // how a failure is reported
	std::string detail;
};

// The WebSocket to open: host (maybe "host:port") and path with the query.
struct PushTarget {
	std::string host;
	std::string path;
};

// "/webcast/rooms/<roomId>/connect?client=ttlive-node&...&user_agent=..."
std::string signingPath(const std::string &roomId);
constexpr const char *kSigningHeaders = "Accept: application/protobuf,application/json\r\n";
constexpr const char *kSigningCookieHeader = "x-set-tt-cookie";

SigningAnswer readSigningAnswer(const std::string &body);

// Judges the answer in the fixed order: no response, 429, 401/402 (the only
// failure that needs the user, so reported as an error), other statuses,
// then a usable push address. A push address with blanks or control bytes
// is unusable: it would end up inside the request line.
SigningVerdict judgeSigning(bool completed, uint32_t status, const SigningAnswer &answer);

// The query of the push socket: the fixed browser-like parameters, the room,
// cursor and extension, every complete route parameter in order, and last
// "version_code=270000" (the first one, 180800, stays too).
std::string pushQuery(const std::string &roomId, const SigningAnswer &answer);

// Drops "scheme://", splits host and path ("/" when there is none) and adds
// "?" + query.
PushTarget pushTarget(const std::string &pushAddress, const std::string &query);

// "User-Agent: ...\r\n" and, with a cookie, "Cookie: ...\r\n" (left out
// when the cookie holds control bytes).
std::string pushHeaders(const std::string &cookie);

} // namespace vanteo
