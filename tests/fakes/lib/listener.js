'use strict';
// A loopback TCP listener on a port chosen at run time that hands each
// accepted connection to an http or https server, or, while stalled, keeps it
// open without a word (no TLS handshake, no HTTP answer). Every raw socket is
// tracked so a reset can cut them all. headerPairs: Node's rawHeaders as
// [name, value] pairs, in arrival order, spelled as the client sent them.

const net = require('node:net');

class Listener {
	constructor(name, server) {
		this.name = name;
		this.server = server;
		this.stalled = false;
		this.sockets = new Set();
		this.tcp = net.createServer((socket) => this.accept(socket));
	}

	accept(socket) {
		this.sockets.add(socket);
		socket.on('close', () => this.sockets.delete(socket));
		socket.on('error', () => {});
		if (this.stalled) return;
		this.server.emit('connection', socket);
	}

	listen() {
		return new Promise((resolve, reject) => {
			this.tcp.once('error', reject);
			this.tcp.listen(0, '127.0.0.1', () => {
				this.port = this.tcp.address().port;
				resolve(this.port);
			});
		});
	}

	// Stalls new connections (true) or serves them again (false).
	stall(on) {
		this.stalled = Boolean(on);
	}

	destroyAll() {
		for (const socket of this.sockets) socket.destroy();
		this.sockets.clear();
	}

	close() {
		this.destroyAll();
		return new Promise((resolve) => this.tcp.close(() => resolve()));
	}
}

function headerPairs(raw) {
	const out = [];
	for (let i = 0; i + 1 < raw.length; i += 2) out.push([raw[i], raw[i + 1]]);
	return out;
}

module.exports = { Listener, headerPairs };
