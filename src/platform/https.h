#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// One-shot HTTPS requests. Synchronous: each call blocks its thread for up to
// the 15-second time-outs of each phase; callers run them on their own worker
// threads. No state is kept between calls, so any thread may call at any time.
//
// Hosts: pass an endpoint name from common/endpoints.h ("twitch-helix"); a
// literal host ("example.com" or "example.com:8443") is accepted too, for
// addresses that come back inside replies. Hosts, paths, methods and header
// blocks are ASCII text (the wide strings of other platforms are plain
// std::string here); bodies are bytes.
//
// Header blocks are lines each ended by "\r\n". TLS certificate and host-name
// verification are always on; VANTEO_CA_FILE adds one trusted CA. The proxy
// settings of the environment (https_proxy, no_proxy...) are honoured, except
// that loopback addresses are always reached directly.
namespace vanteo::platform {

// The agent name every request carries.
extern const char *const BrowserUserAgent;

// Ties the requests of the calling thread to a running flag for the scope's
// life: once the flag reads false, a request in any phase (resolve, connect,
// TLS, waiting for the answer, reading it) ends within about 100 ms and
// reports no response, and later ones fail at once. Worker threads set one
// at their entry so that stopping them never waits for a stalled host.
// Scopes nest; the innermost applies.
class AbortScope {
public:
	explicit AbortScope(const std::atomic<bool> &running);
	~AbortScope();
	AbortScope(const AbortScope &) = delete;
	AbortScope &operator=(const AbortScope &) = delete;

private:
	const std::atomic<bool> *m_previous;
};

// A token that can go into a header line: visible ASCII only. Anything else
// could end the line and add header lines of its own, and no real token
// contains it.
bool isHeaderSafe(const std::string &value);

// GET host:port path. TLS exactly when port is 443 (the port given here
// decides, even when an override moves the connection to another port).
// bodyOut is cleared and statusOut set to 0 first. True once a response with
// any status arrived (a failure while reading the body keeps what was read);
// false, with status 0 and an empty body, when no response came. The body
// stops growing once it exceeds 16 MiB: it ends at most 8192 bytes past the
// cap, and the result is still true. When headerName and headerOut are both
// given and the response carries that header (first occurrence, non-empty),
// its value is stored in headerOut; otherwise headerOut is left untouched.
bool httpsGet(const std::string &host, const std::string &path, std::string &bodyOut, uint32_t &statusOut,
	      const std::string &extraHeaders = std::string(), uint16_t port = 443, const char *headerName = nullptr,
	      std::string *headerOut = nullptr);

// method ("GET", "POST", "PATCH", "DELETE", ...) on host, always port 443 and
// TLS. body is sent when non-empty (POST, PUT and PATCH send an empty one as
// "Content-Length: 0"). Same result rule as httpsGet; the response body has
// no size cap.
bool httpsRequest(const std::string &method, const std::string &host, const std::string &path,
		  const std::string &headers, const std::string &body, std::string &bodyOut, uint32_t &statusOut);

// "Authorization: Bearer <token>\r\nClient-Id: <clientId>\r\n", followed by
// "Content-Type: application/json\r\n" when withJson.
std::string helixHeaders(const std::string &token, const std::string &clientId, bool withJson);

// The non-empty lines of a block of "Name: value\r\n" header lines, without
// their line ends (a missing final CR LF is fine).
std::vector<std::string> headerBlockLines(const std::string &block);

// ASCII text as a header/path string: the identity here, one UTF-16 unit per
// byte where the platform's strings are wide. Non-ASCII input is outside its
// contract.
std::string widenAscii(const std::string &narrow);

} // namespace vanteo::platform
