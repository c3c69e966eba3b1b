#include "http/http_request.h"

#include <cctype>
#include <limits>

namespace vanteo {

namespace {

bool equalsIgnoreCase(const std::string &a, const std::string &b)
{
	if (a.size() != b.size())
		return false;
	for (size_t i = 0; i < a.size(); ++i)
		if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
			return false;
	return true;
}

std::string lower(std::string text)
{
	for (char &c : text)
		c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
	return text;
}

std::string trim(const std::string &text)
{
	size_t begin = text.find_first_not_of(" \t");
	if (begin == std::string::npos)
		return std::string();
	size_t end = text.find_last_not_of(" \t");
	return text.substr(begin, end - begin + 1);
}

bool allDigits(const std::string &text)
{
	if (text.empty())
		return false;
	for (char c : text)
		if (c < '0' || c > '9')
			return false;
	return true;
}

bool isLocalName(const std::string &name)
{
	static const std::string suffix = ".localhost";
	if (name == "127.0.0.1" || name == "localhost")
		return true;
	return name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

const std::string *HttpRequestHead::header(const std::string &name) const
{
	for (const auto &field : headers)
		if (equalsIgnoreCase(field.first, name))
			return &field.second;
	return nullptr;
}

HttpRequestHead parseRequestHead(const std::string &head)
{
	HttpRequestHead req;
	size_t lineEnd = head.find("\r\n");
	std::string requestLine = head.substr(0, lineEnd);
	size_t sp1 = requestLine.find(' ');
	req.method = requestLine.substr(0, sp1);
	if (sp1 != std::string::npos) {
		size_t sp2 = requestLine.find(' ', sp1 + 1);
		req.target = requestLine.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
	}
	size_t q = req.target.find('?');
	req.path = req.target.substr(0, q);
	if (q != std::string::npos)
		req.query = req.target.substr(q + 1);

	size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
	while (pos < head.size()) {
		size_t end = head.find("\r\n", pos);
		if (end == std::string::npos)
			end = head.size();
		std::string line = head.substr(pos, end - pos);
		size_t colon = line.find(':');
		if (colon != std::string::npos && colon > 0)
			req.headers.emplace_back(line.substr(0, colon), trim(line.substr(colon + 1)));
		pos = end + 2;
	}
	return req;
}

bool isAllowedHost(const std::string &hostValue)
{
	std::string host = lower(trim(hostValue));
	size_t colon = host.rfind(':');
	if (colon != std::string::npos) {
		if (!allDigits(host.substr(colon + 1)))
			return false;
		host.resize(colon);
	}
	return isLocalName(host);
}

bool isAllowedOrigin(const std::string &originValue, uint16_t port)
{
	std::string origin = lower(trim(originValue));
	static const std::string scheme = "http://";
	if (origin.compare(0, scheme.size(), scheme) != 0)
		return false;
	std::string rest = origin.substr(scheme.size());
	std::string portSuffix = ":" + std::to_string(port);
	if (rest.size() <= portSuffix.size() ||
	    rest.compare(rest.size() - portSuffix.size(), portSuffix.size(), portSuffix) != 0)
		return false;
	return isLocalName(rest.substr(0, rest.size() - portSuffix.size()));
}

bool parseContentLength(const std::string &value, size_t &length)
{
	std::string digits = trim(value);
	if (!allDigits(digits) || digits.size() > 18)
		return false;
	length = static_cast<size_t>(std::stoull(digits));
	return true;
}

const char *contentTypeFor(const std::string &name)
{
	static const struct {
		const char *suffix;
		const char *type;
	} kTypes[] = {
	    {".html", "text/html; charset=utf-8"},
	    {".css", "text/css; charset=utf-8"},
	    {".js", "text/javascript; charset=utf-8"},
	    {".svg", "image/svg+xml"},
	    {".png", "image/png"},
	    {".woff", "font/woff"},
	    {".woff2", "font/woff2"},
	};
	for (const auto &entry : kTypes) {
		std::string suffix = entry.suffix;
		if (name.size() >= suffix.size() &&
		    name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
			return entry.type;
	}
	return "application/octet-stream";
}

std::string fileNameForPath(const std::string &path)
{
	if (path == "/")
		return "index.html";
	if (path == "/oauth")
		return "oauth.html";
	return path.empty() ? std::string() : path.substr(1);
}

bool isForbiddenFileName(const std::string &name)
{
	return name.find("..") != std::string::npos || name.find(':') != std::string::npos;
}

std::string httpResponse(const std::string &status, const std::string &contentType, const std::string &body)
{
	std::string out;
	out.reserve(128 + body.size());
	out += "HTTP/1.1 ";
	out += status;
	out += "\r\nContent-Type: ";
	out += contentType;
	out += "\r\nContent-Length: ";
	out += std::to_string(body.size());
	out += "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
	out += body;
	return out;
}

const std::string kEventStreamHead = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
				     "Cache-Control: no-store\r\nConnection: keep-alive\r\n\r\n";

void appendEventFrame(std::string &out, const std::string &name, const std::string &data)
{
	if (out.empty())
		out.reserve(16 + name.size() + data.size());
	out += "event: ";
	out += name;
	out += "\ndata: ";
	out += data;
	out += "\n\n";
}

bool queryHasToken(const std::string &query, const std::string &token)
{
	return !token.empty() && query.find("t=" + token) != std::string::npos;
}

} // namespace vanteo
