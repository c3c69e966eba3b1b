// One connection's bytes through the whole request path of the local server,
// as a connection thread runs it: reading the head and body, the host,
// origin and token rules, the event stream, the request handler and the
// static files of a web folder that holds a sub-folder, a pipe and an empty
// file. Nothing may throw out of it, block, or read outside its buffers.

#include "http/local_server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

vanteo::LocalServer &server()
{
	static vanteo::LocalServer *s = [] {
		char pattern[] = "/tmp/vanteo-http-fuzz.XXXXXX";
		const std::string root = mkdtemp(pattern);
		std::ofstream(root + "/index.html") << "<html>chat</html>";
		std::ofstream(root + "/app.css") << "body{}";
		std::ofstream(root + "/empty.txt");
		mkdir((root + "/js").c_str(), 0700);
		std::ofstream(root + "/js/chat.js") << "export {};";
		mkfifo((root + "/pipe").c_str(), 0600);
		auto *started = new vanteo::LocalServer();
		started->addResource("/badge/vip.png", "image/png", "PNG");
		const uint16_t port = started->start(root, 47311, [](const std::string &path, const std::string &body) {
			if (body.find("throw") != std::string::npos)
				throw std::runtime_error(path);
			return "{\"path\":\"" + path + "\"}";
		});
		if (!port)
			abort();
		return started;
	}();
	return *s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	vanteo::LocalServer &s = server();
	int ends[2];
	if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
		return 0;
	// The whole request is waiting, then the client stops sending: nothing
	// the server reads can wait for more.
	if (size > 0 && write(ends[0], data, size) != static_cast<ssize_t>(size)) {
		close(ends[0]);
		close(ends[1]);
		return 0;
	}
	shutdown(ends[0], SHUT_WR);
	s.serveConnection(ends[1]);
	close(ends[0]);
	// An event stream opened by the input is dropped at the next broadcast.
	s.broadcast("x", "1");
	return 0;
}
