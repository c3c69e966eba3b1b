#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Pure pieces of the local HTTP server: request-head parsing, the host and
// origin rules, content types and the byte layout of responses and events.
namespace vanteo {

struct HttpRequestHead {
	std::string method;
	std::string target;
	std::string path;  // target up to the first "?"
	std::string query; // text after the first "?", "" when there is none
	// Header fields in arrival order; names as sent.
	std::vector<std::pair<std::string, std::string>> headers;

	// First header of that name (case-insensitive), nullptr when absent.
	const std::string *header(const std::string &name) const;
};

// `head` is the text before the first "\r\n\r\n". Never fails: a malformed
// request line gives empty fields, malformed header lines are skipped.
HttpRequestHead parseRequestHead(const std::string &head);

// Host header value naming this machine: 127.0.0.1, localhost or *.localhost,
// each with or without ":port".
bool isAllowedHost(const std::string &host);
// Origin "http://" + allowed host + ":" + port.
bool isAllowedOrigin(const std::string &origin, uint16_t port);

// A Content-Length value: plain decimal digits (surrounding blanks allowed).
bool parseContentLength(const std::string &value, size_t &length);

// Content type by the file name's ending.
const char *contentTypeFor(const std::string &name);

// File name for a GET path: "/" -> index.html, "/oauth" -> oauth.html.
std::string fileNameForPath(const std::string &path);
// True for names containing ".." or ":".
bool isForbiddenFileName(const std::string &name);

// The complete response bytes with the fixed header set.
std::string httpResponse(const std::string &status, const std::string &contentType, const std::string &body);

// Fixed head of an event stream (101 bytes).
extern const std::string kEventStreamHead;

// Appends "event: NAME\ndata: DATA\n\n".
void appendEventFrame(std::string &out, const std::string &name, const std::string &data);

// True when the query holds "t=" + token anywhere.
bool queryHasToken(const std::string &query, const std::string &token);

} // namespace vanteo
