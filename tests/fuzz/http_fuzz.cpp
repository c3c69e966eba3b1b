// Request heads as the local server reads them: the request line, header
// fields, the host and origin rules and the Content-Length value.

#include "server/http_request.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	std::string text(reinterpret_cast<const char *>(data), size);
	size_t end = text.find("\r\n\r\n");
	vanteo::HttpRequestHead head = vanteo::parseRequestHead(text.substr(0, end));
	if (const std::string *host = head.header("Host"))
		vanteo::isAllowedHost(*host);
	if (const std::string *origin = head.header("Origin"))
		vanteo::isAllowedOrigin(*origin, 18763);
	if (const std::string *length = head.header("Content-Length")) {
		size_t value = 0;
		vanteo::parseContentLength(*length, value);
	}
	std::string name = vanteo::fileNameForPath(head.path);
	vanteo::isForbiddenFileName(name);
	vanteo::contentTypeFor(name);
	vanteo::queryHasToken(head.query, "0123456789abcdef01234567");
	return 0;
}
