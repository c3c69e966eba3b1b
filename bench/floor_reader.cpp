// The least a chat reader can do on this machine, for chat_bench.mjs --floor:
// it connects to the fake chat over TLS, upgrades to WebSocket, joins a
// channel anonymously and then, for every record it decrypts, writes the
// bytes as they are to a second loopback socket, the stand-in for a page.
// No parsing, no records, no JSON, no threads: one blocking read and one
// send per message. What it costs per message is the floor under any host
// that reads a chat over TLS and forwards each message to a page here.
//
//   floor_reader CHAT_PORT CHANNEL SINK_PORT CA_FILE
//   prints "joined" once the fake has echoed the join.
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int connectLoopback(int port)
{
	const int fd = socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in address{};
	address.sin_family = AF_INET;
	address.sin_port = htons(static_cast<uint16_t>(port));
	address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	const int one = 1;
	setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
	if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
		perror("connect");
		exit(1);
	}
	return fd;
}

// A client text frame, masked with a zero key (which leaves the payload as
// it is; the mask bit is what the protocol asks of a client).
void sendLine(SSL *ssl, const std::string &line)
{
	std::string frame;
	frame.push_back(static_cast<char>(0x81));
	frame.push_back(static_cast<char>(0x80 | (line.size() + 2)));
	frame.append(4, '\0');
	frame += line + "\r\n";
	SSL_write(ssl, frame.data(), static_cast<int>(frame.size()));
}

} // namespace

int main(int argc, char **argv)
{
	if (argc != 5) {
		fprintf(stderr, "usage: floor_reader CHAT_PORT CHANNEL SINK_PORT CA_FILE\n");
		return 2;
	}
	const std::string channel = argv[2];
	SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
	SSL_CTX_load_verify_locations(ctx, argv[4], nullptr);
	SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
	SSL *ssl = SSL_new(ctx);
	SSL_set_fd(ssl, connectLoopback(atoi(argv[1])));
	SSL_set_tlsext_host_name(ssl, "localhost");
	if (SSL_connect(ssl) != 1) {
		ERR_print_errors_fp(stderr);
		return 1;
	}
	const std::string upgrade = "GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\n"
				    "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
				    "Sec-WebSocket-Version: 13\r\n\r\n";
	SSL_write(ssl, upgrade.data(), static_cast<int>(upgrade.size()));
	std::string seen;
	char buffer[16384];
	while (seen.find("\r\n\r\n") == std::string::npos) {
		const int n = SSL_read(ssl, buffer, sizeof(buffer));
		if (n <= 0)
			return 1;
		seen.append(buffer, static_cast<size_t>(n));
	}
	sendLine(ssl, "NICK justinfan4242");
	sendLine(ssl, "JOIN #" + channel);
	const std::string joined = " JOIN #" + channel;
	while (seen.find(joined) == std::string::npos) {
		const int n = SSL_read(ssl, buffer, sizeof(buffer));
		if (n <= 0)
			return 1;
		seen.append(buffer, static_cast<size_t>(n));
	}
	printf("joined\n");
	fflush(stdout);

	const int sink = connectLoopback(atoi(argv[3]));
	for (;;) {
		const int n = SSL_read(ssl, buffer, sizeof(buffer));
		if (n <= 0 || send(sink, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n)
			return 0;
	}
}
