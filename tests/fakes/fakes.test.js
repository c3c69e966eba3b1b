'use strict';
// Checks of the fake services themselves, run with `node --test fakes/`: they
// start, speak TLS with the test CA, and the chat fake answers as Twitch does.

const test = require('node:test');
const assert = require('node:assert');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const https = require('node:https');
const path = require('node:path');
const readline = require('node:readline');
const WebSocket = require('ws');

function startFakes() {
	const child = spawn(process.execPath, [path.join(__dirname, 'server.js')], {
		stdio: ['pipe', 'pipe', 'inherit'],
	});
	return new Promise((resolve, reject) => {
		const lines = readline.createInterface({ input: child.stdout });
		lines.once('line', (line) => resolve({ child, info: JSON.parse(line) }));
		child.once('exit', (code) => reject(new Error(`fakes exited with ${code}`)));
	});
}

async function control(info, pathname, args = {}) {
	const response = await fetch(`http://127.0.0.1:${info.control}${pathname}`, {
		method: 'POST',
		body: JSON.stringify(args),
	});
	return response.json();
}

function nextMessages(ws, count) {
	return new Promise((resolve) => {
		const got = [];
		const on = (data) => {
			got.push(data.toString('utf8'));
			if (got.length === count) {
				ws.off('message', on);
				resolve(got);
			}
		};
		ws.on('message', on);
	});
}

test('fake services', async (t) => {
	const { child, info } = await startFakes();
	t.after(() => child.stdin.end());
	const ca = fs.readFileSync(info.ca);

	await t.test('every endpoint points at loopback', () => {
		for (const at of Object.values(info.endpoints)) assert.match(at, /^127\.0\.0\.1:\d+$/);
		assert.match(info.env.VANTEO_ENDPOINTS, /twitch-chat=127\.0\.0\.1:\d+/);
	});

	await t.test('chat answers CAP, NICK, JOIN and checks the PONG', async () => {
		const ws = new WebSocket(`wss://${info.endpoints['twitch-chat']}/`, { ca });
		await new Promise((resolve, reject) => {
			ws.once('open', resolve);
			ws.once('error', reject);
		});
		const replies = nextMessages(ws, 4);
		ws.send('CAP REQ :twitch.tv/tags twitch.tv/commands\r\nNICK justinfan4242\r\nJOIN #somechannel\r\n');
		const [cap, welcome, join, roomState] = await replies;
		assert.strictEqual(cap, ':tmi.twitch.tv CAP * ACK :twitch.tv/tags twitch.tv/commands\r\n');
		assert.match(welcome, /^:tmi\.twitch\.tv 001 justinfan4242 :Welcome, GLHF!\r\n/);
		assert.strictEqual(join,
			':justinfan4242!justinfan4242@justinfan4242.tmi.twitch.tv JOIN #somechannel\r\n' +
			':justinfan4242.tmi.twitch.tv 353 justinfan4242 = #somechannel :justinfan4242\r\n' +
			':justinfan4242.tmi.twitch.tv 366 justinfan4242 #somechannel :End of /NAMES list\r\n');
		assert.match(roomState, /^@emote-only=0;.*room-id=\d+;.* :tmi\.twitch\.tv ROOMSTATE #somechannel\r\n$/);

		const ping = nextMessages(ws, 1);
		await control(info, '/twitch-chat/ping');
		assert.strictEqual((await ping)[0], 'PING :tmi.twitch.tv\r\n');
		ws.send('PONG :tmi.twitch.tv\r\n');
		let state;
		for (let i = 0; i < 100; i++) {
			state = await control(info, '/twitch-chat/state');
			if (state.sessions[0].pongs.length) break;
			await new Promise((resolve) => setTimeout(resolve, 10));
		}
		assert.deepStrictEqual(state.sessions[0].pongs[0],
			{ line: 'PONG :tmi.twitch.tv', token: 'tmi.twitch.tv', matches: true });

		const played = nextMessages(ws, 2);
		await control(info, '/twitch-chat/play', {
			lines: ['@id={id} :a!a@a.tmi.twitch.tv PRIVMSG #{channel} :one', ':x PRIVMSG #{channel} :two'],
			intervalMs: 20,
		});
		const [one, two] = await played;
		assert.match(one, /^@id=[0-9a-f-]{36} :a!a@a\.tmi\.twitch\.tv PRIVMSG #somechannel :one\r\n$/);
		assert.strictEqual(two, ':x PRIVMSG #somechannel :two\r\n');
		ws.close();
	});

	await t.test('web answers scripted routes and records requests', async () => {
		await control(info, '/web/route', { path: '/x', status: 418, body: 'teapot', headers: { 'X-A': 'b' } });
		const answer = await new Promise((resolve, reject) => {
			https.get({ host: '127.0.0.1', port: info.ports.web, path: '/x', ca }, (res) => {
				let body = '';
				res.on('data', (chunk) => { body += chunk; });
				res.on('end', () => resolve({ status: res.statusCode, body, header: res.headers['x-a'] }));
			}).on('error', reject);
		});
		assert.deepStrictEqual(answer, { status: 418, body: 'teapot', header: 'b' });
		const { requests } = await control(info, '/web/requests');
		assert.strictEqual(requests.length, 1);
		assert.strictEqual(requests[0].path, '/x');
	});
});
