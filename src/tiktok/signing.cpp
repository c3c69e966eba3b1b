#include "tiktok/signing.h"

#include "common/url_encode.h"
#include "platform/https.h"
#include "tiktok/protobuf_wire.h"
#include "tiktok/room_lookup.h"

namespace vanteo {

namespace {

// The parameters a TikTok web client opens the push socket with.
const char kFixedQuery[] = "version_code=180800&aid=1988&app_language=en-US&app_name=tiktok_web&browser_platform=Win32"
			   "&browser_language=en-US&browser_name=Mozilla&browser_online=true&cookie_enabled=true"
			   "&device_platform=web&identity=audience&live_id=12&webcast_language=en-US&ws_direct=0"
			   "&sup_ws_ds_opt=1&update_version_code=2.0.0&did_rule=3&screen_height=1080&screen_width=1920"
			   "&heartbeat_duration=0&resp_content_type=protobuf&history_comment_count=6&client_enter=1"
			   "&last_rtt=150&compress=gzip";

bool usableAddress(const std::string &address)
{
	if (address.empty())
		return false;
	for (unsigned char c : address) {
		if (c <= 0x20 || c >= 0x7f)
			return false;
	}
	return true;
}

} // namespace

std::string signingPath(const std::string &roomId)
{
	return "/webcast/rooms/" + roomId + "/connect?client=ttlive-node&client_enter=true&platform=web&user_agent=" +
	       urlEncode(platform::BrowserUserAgent);
}

SigningAnswer readSigningAnswer(const std::string &body)
{
	SigningAnswer answer;
	getBytesField(body, 10, answer.pushAddress);
	getBytesField(body, 2, answer.cursor);
	getBytesField(body, 5, answer.internalExt);
	size_t position = 0;
	FieldView field;
	while (nextField(body, position, field)) {
		if (field.field != 7 || field.wireType != 2)
			continue;
		std::string key;
		std::string value;
		getBytesField(field.bytes, 1, key);
		getBytesField(field.bytes, 2, value);
		answer.routeParams.emplace_back(std::move(key), std::move(value));
	}
	return answer;
}

SigningVerdict judgeSigning(bool completed, uint32_t status, const SigningAnswer &answer)
{
	SigningVerdict verdict;
	if (!completed)
		verdict.detail = "Signing service unreachable";
	else if (status == 429)
		verdict.detail = "Too many connections to the signing service · retrying";
	else if (status == 401 || status == 402)
		verdict = {false, LinkState::Error, "The signing service requires a paid plan"};
	else if (status != 200)
		verdict.detail = "Signing failed (" + std::to_string(status) + ")";
	else if (!usableAddress(answer.pushAddress))
		verdict.detail = "Incomplete signing response";
	else
		verdict = {true, LinkState::Connecting, std::string()};
	return verdict;
}

std::string pushQuery(const std::string &roomId, const SigningAnswer &answer)
{
	std::string query = kFixedQuery;
	query += "&room_id=" + urlEncode(roomId);
	query += "&cursor=" + urlEncode(answer.cursor);
	query += "&internal_ext=" + urlEncode(answer.internalExt);
	for (const auto &param : answer.routeParams) {
		if (!param.first.empty() && !param.second.empty())
			query += "&" + urlEncode(param.first) + "=" + urlEncode(param.second);
	}
	query += "&version_code=270000";
	return query;
}

PushTarget pushTarget(const std::string &pushAddress, const std::string &query)
{
	std::string rest = pushAddress;
	size_t scheme = rest.find("://");
	if (scheme != std::string::npos)
		rest.erase(0, scheme + 3);
	PushTarget target;
	size_t slash = rest.find('/');
	target.host = rest.substr(0, slash);
	target.path = slash == std::string::npos ? "/" : rest.substr(slash);
	target.path += "?" + query;
	return target;
}

std::string pushHeaders(const std::string &cookie)
{
	std::string headers = std::string("User-Agent: ") + platform::BrowserUserAgent + "\r\n";
	// A value with control bytes could end the header early and add others.
	bool clean = !cookie.empty();
	for (unsigned char c : cookie)
		clean = clean && (c >= 0x20 || c == '\t') && c != 0x7f;
	if (clean)
		headers += "Cookie: " + cookie + "\r\n";
	return headers;
}

} // namespace vanteo
