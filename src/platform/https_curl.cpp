#include "platform/https.h"

#include "common/endpoints.h"
#include "common/log.h"
#include "platform/files.h"

#include <curl/curl.h>
#include <util/base.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>

namespace vanteo::platform {

const char *const BrowserUserAgent = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
				     "Chrome/131.0.0.0 Safari/537.36";

namespace {

// The running flag the calling thread's requests answer to (AbortScope).
thread_local const std::atomic<bool> *t_running = nullptr;

bool aborted()
{
	return t_running && !t_running->load();
}

// Runs one transfer in steps of at most 100 ms, so that an abort ends it
// within one step whatever phase it is in (resolve, connect, TLS, waiting).
CURLcode performAbortable(CURL *curl)
{
	CURLM *multi = curl_multi_init();
	if (!multi)
		return CURLE_OUT_OF_MEMORY;
	CURLcode result = CURLE_ABORTED_BY_CALLBACK;
	if (curl_multi_add_handle(multi, curl) == CURLM_OK) {
		for (;;) {
			int running = 0;
			if (curl_multi_perform(multi, &running) != CURLM_OK) {
				result = CURLE_RECV_ERROR;
				break;
			}
			if (!running) {
				int left = 0;
				while (CURLMsg *message = curl_multi_info_read(multi, &left)) {
					if (message->msg == CURLMSG_DONE)
						result = message->data.result;
				}
				break;
			}
			if (aborted())
				break;
			curl_multi_poll(multi, nullptr, 0, 100, nullptr);
		}
		curl_multi_remove_handle(multi, curl);
	}
	curl_multi_cleanup(multi);
	return result;
}

bool readFile(const std::string &path, std::string *append)
{
	std::string text;
	if (!readRegularFile(path, text))
		return false;
	*append += text;
	return true;
}

constexpr long kTimeoutMs = 15000;
constexpr size_t kReadChunk = 8192;
constexpr size_t kGetBodyCap = 0x1000000; // 16 MiB

// System bundle + VANTEO_CA_FILE as one PEM text, rebuilt when the file name
// changes; null when no extra CA is configured (libcurl's default applies).
std::shared_ptr<const std::string> trustedCaBundle(CURL *curl)
{
	// Guards the cached bundle and the name it was built for.
	static std::mutex mutex;
	static std::string builtFor;
	static std::shared_ptr<const std::string> bundle;

	std::string extra = extraCaFile();
	if (extra.empty())
		return nullptr;
	std::lock_guard<std::mutex> lock(mutex);
	if (bundle && builtFor == extra)
		return bundle;
	std::string text;
	char *systemFile = nullptr;
	if (curl_easy_getinfo(curl, CURLINFO_CAINFO, &systemFile) != CURLE_OK || !systemFile)
		systemFile = const_cast<char *>("/etc/ssl/certs/ca-certificates.crt");
	readFile(systemFile, &text);
	text += "\n";
	if (!readFile(extra, &text))
		logLine(LOG_WARNING, "https: cannot read CA file %s", extra.c_str());
	builtFor = extra;
	bundle = std::make_shared<const std::string>(std::move(text));
	return bundle;
}

void globalInit()
{
	static std::once_flag once;
	std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct BodySink {
	std::string *body;
	bool capped; // httpsGet's 16 MiB rule applies
};

// Appends in pieces of at most 8192 bytes and tests the size after each, so
// a capped body ends at most one piece past the cap. Returning less than
// offered ends the transfer; the response still counts as received.
size_t writeBody(char *data, size_t size, size_t count, void *user)
{
	auto *sink = static_cast<BodySink *>(user);
	size_t total = size * count;
	for (size_t done = 0; done < total;) {
		size_t piece = std::min(kReadChunk, total - done);
		sink->body->append(data + done, piece);
		done += piece;
		if (sink->capped && sink->body->size() > kGetBodyCap)
			return done == total ? total - 1 : done;
	}
	return total;
}

bool startsWithNoCase(const std::string &line, const char *prefix)
{
	size_t n = std::strlen(prefix);
	if (line.size() < n)
		return false;
	for (size_t i = 0; i < n; ++i) {
		if (std::tolower(static_cast<unsigned char>(line[i])) !=
		    std::tolower(static_cast<unsigned char>(prefix[i])))
			return false;
	}
	return true;
}

struct HeaderList {
	curl_slist *list = nullptr;
	bool hasContentType = false;
	~HeaderList() { curl_slist_free_all(list); }
	void add(const std::string &line)
	{
		if (curl_slist *next = curl_slist_append(list, line.c_str()))
			list = next;
	}
};

void addHeaderBlock(HeaderList &headers, const std::string &block)
{
	for (const std::string &line : headerBlockLines(block)) {
		if (startsWithNoCase(line, "content-type:"))
			headers.hasContentType = true;
		headers.add(line);
	}
}

bool isLoopback(const std::string &host)
{
	return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

struct Request {
	std::string method; // "GET", or the verb of httpsRequest
	std::string host;
	std::string path;
	std::string headers;
	const std::string *body = nullptr; // sent when non-null
	uint16_t port = 443;
	bool tls = true;
	bool capped = false;
	const char *headerName = nullptr;
	std::string *headerOut = nullptr;
};

bool perform(const Request &request, std::string &bodyOut, uint32_t &statusOut)
{
	bodyOut.clear();
	statusOut = 0;
	if (aborted())
		return false;
	globalInit();
	CURL *curl = curl_easy_init();
	if (!curl)
		return false;

	Endpoint target = resolveRemote(request.host, request.port);
	// The port is always written out: an override may move a TLS request
	// off 443, and the scheme follows the caller's port, not the target's.
	std::string url = request.tls ? "https://" : "http://";
	url += target.authority();
	if (target.port == 443)
		url += ":443";
	url += request.path.empty() || request.path[0] != '/' ? "/" + request.path : request.path;

	HeaderList headers;
	addHeaderBlock(headers, request.headers);
	// Only what the caller gives is sent: no default form content type and
	// no "Expect: 100-continue" round trip.
	if (request.body && !headers.hasContentType)
		headers.add("Content-Type:");
	headers.add("Expect:");

	BodySink sink{&bodyOut, request.capped};
	curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
	curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
	curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
	curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
	curl_easy_setopt(curl, CURLOPT_USERAGENT, BrowserUserAgent);
	curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
	curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
	curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
	curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, static_cast<long>(kReadChunk));
	// Resolve and connect share one limit; sending and receiving fail when
	// no byte moves for 15 seconds.
	curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kTimeoutMs);
	curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
	curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kTimeoutMs / 1000);
	curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
	curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
	curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, request.tls ? "https" : "http,https");
	curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
	curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
	if (isLoopback(target.host))
		curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");

	curl_blob caBlob{};
	std::shared_ptr<const std::string> bundle = trustedCaBundle(curl);
	if (bundle) {
		caBlob.data = const_cast<char *>(bundle->data());
		caBlob.len = bundle->size();
		caBlob.flags = CURL_BLOB_NOCOPY;
		curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &caBlob);
	}

	if (request.method != "GET")
		curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
	if (request.body) {
		curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body->size()));
		curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body->data());
	}

	CURLcode code = performAbortable(curl);
	long status = 0;
	curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
	// A response arrived when its status line was read; an error after that
	// (the cap, a broken body) keeps the status and what was read.
	// An aborted request counts as unanswered, whatever arrived before.
	bool received = status > 0 && code != CURLE_ABORTED_BY_CALLBACK &&
			(code == CURLE_OK || code == CURLE_WRITE_ERROR || code == CURLE_PARTIAL_FILE ||
			 code == CURLE_RECV_ERROR || code == CURLE_OPERATION_TIMEDOUT || code == CURLE_GOT_NOTHING);
	if (received) {
		statusOut = static_cast<uint32_t>(status);
		if (request.headerName && request.headerOut) {
			curl_header *header = nullptr;
			if (curl_easy_header(curl, request.headerName, 0, CURLH_HEADER, -1, &header) == CURLHE_OK &&
			    header && header->value && header->value[0])
				*request.headerOut = header->value;
		}
	} else {
		bodyOut.clear();
	}
	curl_easy_cleanup(curl);
	return received;
}

} // namespace

AbortScope::AbortScope(const std::atomic<bool> &running) : m_previous(t_running)
{
	t_running = &running;
}

AbortScope::~AbortScope()
{
	t_running = m_previous;
}

bool isHeaderSafe(const std::string &value)
{
	for (unsigned char c : value) {
		if (c < 0x21 || c > 0x7e)
			return false;
	}
	return true;
}

bool httpsGet(const std::string &host, const std::string &path, std::string &bodyOut, uint32_t &statusOut,
	      const std::string &extraHeaders, uint16_t port, const char *headerName, std::string *headerOut)
{
	Request request;
	request.method = "GET";
	request.host = host;
	request.path = path;
	request.headers = extraHeaders;
	request.port = port;
	request.tls = port == 443;
	request.capped = true;
	request.headerName = headerName;
	request.headerOut = headerOut;
	return perform(request, bodyOut, statusOut);
}

bool httpsRequest(const std::string &method, const std::string &host, const std::string &path,
		  const std::string &headers, const std::string &body, std::string &bodyOut, uint32_t &statusOut)
{
	Request request;
	request.method = method;
	request.host = host;
	request.path = path;
	request.headers = headers;
	bool sendsBody = !body.empty() || method == "POST" || method == "PUT" || method == "PATCH";
	request.body = sendsBody ? &body : nullptr;
	return perform(request, bodyOut, statusOut);
}

std::string helixHeaders(const std::string &token, const std::string &clientId, bool withJson)
{
	std::string block =
	    "Authorization: Bearer " + widenAscii(token) + "\r\n" + "Client-Id: " + widenAscii(clientId) + "\r\n";
	if (withJson)
		block += "Content-Type: application/json\r\n";
	return block;
}

std::vector<std::string> headerBlockLines(const std::string &block)
{
	std::vector<std::string> lines;
	size_t start = 0;
	while (start < block.size()) {
		size_t end = block.find('\n', start);
		if (end == std::string::npos)
			end = block.size();
		std::string line = block.substr(start, end - start);
		start = end + 1;
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		if (!line.empty())
			lines.push_back(std::move(line));
	}
	return lines;
}

std::string widenAscii(const std::string &narrow)
{
	return narrow;
}

} // namespace vanteo::platform
