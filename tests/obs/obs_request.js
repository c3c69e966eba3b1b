// Sends one request to OBS Studio's own WebSocket server (obs-websocket,
// protocol 5, no authentication) and exits 0 when OBS reports success.
//
//   node obs_request.js PORT REQUEST_TYPE
'use strict';
const WebSocket = require('ws');

const [port, requestType] = process.argv.slice(2);
if (!port || !requestType) {
	console.error('usage: node obs_request.js PORT REQUEST_TYPE');
	process.exit(2);
}

const socket = new WebSocket(`ws://127.0.0.1:${port}`, 'obswebsocket.json');
const timer = setTimeout(() => {
	console.error(`obs_request: no answer to ${requestType}`);
	process.exit(1);
}, 15000);

socket.on('message', (data) => {
	const message = JSON.parse(data.toString());
	if (message.op === 0) { // Hello
		socket.send(JSON.stringify({ op: 1, d: { rpcVersion: 1 } }));
	} else if (message.op === 2) { // Identified
		socket.send(JSON.stringify({ op: 6, d: { requestType, requestId: 'smoke' } }));
	} else if (message.op === 7) { // RequestResponse
		clearTimeout(timer);
		const status = message.d.requestStatus;
		if (!status.result)
			console.error(`obs_request: ${requestType} failed: ${status.code} ${status.comment || ''}`);
		socket.close();
		process.exitCode = status.result ? 0 : 1;
	}
});
socket.on('error', (error) => {
	console.error(`obs_request: ${error.message}`);
	process.exit(1);
});
