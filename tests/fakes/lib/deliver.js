'use strict';
// Sending scripted payloads over a ws WebSocket the ways real services do and
// the ways that break careless clients: several lines in one message, one
// line cut across messages, a message cut into fragments.

// The payload of a "send" command:
//   lines: [..]   each ended by CR LF unless it already is; all joined
//   text:  "..."  exact text, nothing added
//   size, fill    a generated payload of size bytes of the fill character
//   base64        exact bytes
function payloadOf(args, transform = (line) => line) {
	if (Array.isArray(args.lines)) {
		return Buffer.from(
			args.lines.map((line) => transform(String(line)))
				.map((line) => (line.endsWith('\r\n') ? line : `${line}\r\n`)).join(''),
			'utf8');
	}
	if (typeof args.text === 'string') return Buffer.from(transform(args.text), 'utf8');
	if (args.size !== undefined) return Buffer.alloc(Number(args.size), String(args.fill || 'a'));
	if (typeof args.base64 === 'string') return Buffer.from(args.base64, 'base64');
	throw new Error('send needs lines, text, size or base64');
}

// Splits a payload into messages at the given byte offsets (splitAt); one
// message otherwise.
function messagesOf(payload, args) {
	if (Array.isArray(args.splitAt) && args.splitAt.length) {
		const cuts = [...args.splitAt.map(Number), payload.length].sort((a, b) => a - b);
		const out = [];
		let start = 0;
		for (const cut of cuts) {
			if (cut > start && cut <= payload.length) {
				out.push(payload.subarray(start, cut));
				start = cut;
			}
		}
		return out;
	}
	return [payload];
}

// Queues every message, each as `fragments` frames when asked. ws keeps the
// queue in order, so later commands never overtake this one. The promise
// settles once everything was handed to the socket; callers need not wait for
// it (a client that is not reading would hold it up).
function deliver(ws, payload, args) {
	const binary = Boolean(args.binary);
	const fragments = Math.max(1, Number(args.fragments || 1));
	const sent = [];
	const queue = (data, fin) => sent.push(new Promise((resolve) => {
		ws.send(data, { binary, fin }, () => resolve());
	}));
	for (const message of messagesOf(payload, args)) {
		if (fragments === 1 || message.length < 2) {
			queue(message, true);
			continue;
		}
		const step = Math.ceil(message.length / fragments);
		for (let start = 0; start < message.length; start += step) {
			const end = Math.min(message.length, start + step);
			queue(message.subarray(start, end), end === message.length);
		}
	}
	return Promise.all(sent);
}

// Resolves once the socket has written what ws queued (or after timeoutMs).
async function flushed(ws, timeoutMs = 5000) {
	const deadline = Date.now() + timeoutMs;
	while (ws.bufferedAmount > 0 && Date.now() < deadline) {
		await new Promise((resolve) => setTimeout(resolve, 10));
	}
}

module.exports = { payloadOf, deliver, flushed };
