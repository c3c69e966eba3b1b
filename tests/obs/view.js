// Reads and drives the page views inside a running OBS Studio through Qt
// WebEngine's remote debugging (QTWEBENGINE_REMOTE_DEBUGGING), and sends
// requests to OBS's own WebSocket server (obs-websocket 5, no password).
//
//   node view.js PORT list                    one "url" per line
//   node view.js PORT eval URL_PREFIX EXPR    the value of EXPR in that page (JSON);
//                                            exits 2 when it is false or null
//   node view.js PORT crash URL_PREFIX        ends that page's renderer
//   node view.js WS_PORT obs REQUEST_TYPE     exits 0 when OBS reports success
//
// Exits 1 when no page starts with URL_PREFIX, the expression throws or the
// request fails.
'use strict';
const WebSocket = require('ws');

const [port, command, prefix, expression] = process.argv.slice(2);

async function targets() {
	const list = await (await fetch(`http://127.0.0.1:${port}/json/list`, { signal: AbortSignal.timeout(5000) })).json();
	return list.filter((t) => t.type === 'page');
}

function call(target, method, params) {
	return new Promise((resolve, reject) => {
		const socket = new WebSocket(target.webSocketDebuggerUrl);
		const timer = setTimeout(() => reject(new Error(`no answer to ${method}`)), 15000);
		socket.on('open', () => socket.send(JSON.stringify({ id: 1, method, params })));
		socket.on('message', (data) => {
			const message = JSON.parse(data.toString());
			if (message.id !== 1) return;
			clearTimeout(timer);
			socket.close();
			if (message.error) reject(new Error(message.error.message));
			else resolve(message.result);
		});
		// A crashed renderer drops the connection instead of answering.
		socket.on('close', () => {
			clearTimeout(timer);
			resolve({});
		});
		socket.on('error', reject);
	});
}

// One obs-websocket request: Hello, Identify, the request, its response.
function obsRequest(requestType) {
	return new Promise((resolve, reject) => {
		const socket = new WebSocket(`ws://127.0.0.1:${port}`, 'obswebsocket.json');
		const timer = setTimeout(() => reject(new Error(`no answer to ${requestType}`)), 15000);
		socket.on('message', (data) => {
			const message = JSON.parse(data.toString());
			if (message.op === 0) socket.send(JSON.stringify({ op: 1, d: { rpcVersion: 1 } }));
			else if (message.op === 2) socket.send(JSON.stringify({ op: 6, d: { requestType, requestId: 'smoke' } }));
			if (message.op !== 7) return;
			clearTimeout(timer);
			socket.close();
			const status = message.d.requestStatus;
			if (status.result) resolve();
			else reject(new Error(`${requestType} failed: ${status.code} ${status.comment || ''}`));
		});
		socket.on('error', reject);
	});
}

async function main() {
	if (command === 'obs') return obsRequest(prefix);
	const pages = await targets();
	if (command === 'list') {
		for (const page of pages) console.log(page.url);
		return;
	}
	const target = pages.find((t) => t.url.startsWith(prefix));
	if (!target) throw new Error(`no page at ${prefix}`);
	if (command === 'crash') {
		// The renderer ends before it can answer; the error says so.
		await call(target, 'Page.crash', {}).catch((error) => {
			if (!/crash/i.test(error.message)) throw error;
		});
		return;
	}
	const result = await call(target, 'Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true });
	if (!result.result || result.exceptionDetails) throw new Error(JSON.stringify(result.exceptionDetails || result));
	const value = result.result.value;
	console.log(JSON.stringify(value));
	if (value === false || value === null || value === undefined) process.exitCode = 2;
}

main().catch((error) => {
	console.error(`view.js: ${error.message}`);
	process.exit(1);
});
