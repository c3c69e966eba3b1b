'use strict';
// Checks of the Twitch API and EventSub fakes, run with `node --test fakes/`.

const test = require('node:test');
const assert = require('node:assert');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const https = require('node:https');
const path = require('node:path');
const readline = require('node:readline');
const WebSocket = require('ws');

const CLIENT_ID = 'q3vd8kz0rj5mxw2nb7ty4hc9pl6sa1';

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

function call(info, ca, method, target, headers = {}, body = '') {
	return new Promise((resolve, reject) => {
		const req = https.request({ host: '127.0.0.1', port: info.ports['twitch-helix'], method, path: target, headers, ca }, (res) => {
			let text = '';
			res.on('data', (chunk) => { text += chunk; });
			res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, text, json: /json/.test(res.headers['content-type'] || '') ? JSON.parse(text) : null }));
		});
		req.on('error', reject);
		req.end(body);
	});
}

const helix = { Authorization: 'Bearer tok-streamer', 'Client-Id': CLIENT_ID };

// Messages of a socket as parsed JSON, taken in order.
function inbox(ws) {
	const queue = [];
	const waiting = [];
	ws.on('message', (data) => {
		const message = JSON.parse(data.toString('utf8'));
		if (waiting.length) waiting.shift()(message);
		else queue.push(message);
	});
	return () => (queue.length ? Promise.resolve(queue.shift()) : new Promise((resolve) => waiting.push(resolve)));
}

function connect(url, ca) {
	const ws = new WebSocket(url, { ca });
	const next = inbox(ws);
	return new Promise((resolve, reject) => {
		ws.once('open', () => resolve({ ws, next }));
		ws.once('error', reject);
	});
}

test('twitch fakes', async (t) => {
	const { child, info } = await startFakes();
	t.after(() => child.stdin.end());
	const ca = fs.readFileSync(info.ca);
	assert.strictEqual(info.ports['twitch-helix'], info.ports['twitch-id']);

	await t.test('validate knows the configured tokens only', async () => {
		const known = await call(info, ca, 'GET', '/oauth2/validate', { Authorization: 'OAuth tok-streamer' });
		assert.strictEqual(known.status, 200);
		assert.strictEqual(known.json.login, 'streamer');
		assert.strictEqual(known.json.user_id, '1001');
		assert.strictEqual(known.json.client_id, CLIENT_ID);
		assert.strictEqual(known.json.scopes.length, 30);
		assert.ok(known.json.scopes.includes('channel:read:hype_train'));
		const unknown = await call(info, ca, 'GET', '/oauth2/validate', { Authorization: 'OAuth nope' });
		assert.deepStrictEqual([unknown.status, unknown.json], [401, { status: 401, message: 'invalid access token' }]);

		await control(info, '/twitch-api/configure', { tokens: { 'tok-noid': { login: 'ghost', user_id: '' } } });
		const noId = await call(info, ca, 'GET', '/oauth2/validate', { Authorization: 'OAuth tok-noid' });
		assert.strictEqual(noId.json.user_id, '');
	});

	await t.test('authorize redirects to the fragment with the token', async () => {
		const target = '/oauth2/authorize?client_id=abc&redirect_uri=http%3A%2F%2Flocalhost%3A4455%2Foauth' +
			'&response_type=token&force_verify=true&scope=user:read:chat+chat:read';
		const answer = await call(info, ca, 'GET', target);
		assert.strictEqual(answer.status, 302);
		assert.strictEqual(answer.headers.location, 'http://localhost:4455/oauth#access_token=tok-streamer' +
			'&scope=user%3Aread%3Achat%20chat%3Aread&state=&token_type=bearer');
		const missing = await call(info, ca, 'GET', '/oauth2/authorize?client_id=abc&response_type=token');
		assert.strictEqual(missing.status, 400);
	});

	await t.test('helix checks token, client id and scopes; users by login and id', async () => {
		await control(info, '/twitch-api/requests', { clear: true });
		const users = await call(info, ca, 'GET', '/helix/users?login=Someone&id=3003&login=nobody', helix);
		assert.strictEqual(users.status, 200);
		assert.deepStrictEqual(users.json.data.map((u) => u.login), ['someone', 'raider']);
		const none = await call(info, ca, 'GET', '/helix/users?login=nobody', helix);
		assert.deepStrictEqual(none.json, { data: [] });

		const unauthorised = { error: 'Unauthorized', status: 401, message: 'Invalid OAuth token' };
		const noClient = await call(info, ca, 'GET', '/helix/users?login=someone', { Authorization: 'Bearer tok-streamer' });
		assert.deepStrictEqual([noClient.status, noClient.json], [401, unauthorised]);
		const badToken = await call(info, ca, 'GET', '/helix/users?login=someone', { ...helix, Authorization: 'Bearer x' });
		assert.deepStrictEqual([badToken.status, badToken.json], [401, unauthorised]);
		const otherClient = await call(info, ca, 'GET', '/helix/users?login=someone', { ...helix, 'Client-Id': 'other' });
		assert.strictEqual(otherClient.json.message, 'Client ID and OAuth token do not match');

		await control(info, '/twitch-api/configure', { tokens: { 'tok-narrow': { login: 'streamer', scopes: ['chat:read'] } } });
		const narrow = await call(info, ca, 'GET', '/helix/chat/chatters?broadcaster_id=1001&moderator_id=1001',
			{ ...helix, Authorization: 'Bearer tok-narrow' });
		assert.deepStrictEqual([narrow.status, narrow.json.message], [401, 'Missing scope: moderator:read:chatters']);
		const notFound = await call(info, ca, 'GET', '/helix/nothing', helix);
		assert.deepStrictEqual([notFound.status, notFound.json], [404, { error: 'Not Found', status: 404, message: '' }]);

		const { requests } = await control(info, '/twitch-api/requests');
		assert.strictEqual(requests[0].path, '/helix/users?login=Someone&id=3003&login=nobody');
		assert.deepStrictEqual(requests[0].headers.filter(([name]) => name === 'Client-Id'), [['Client-Id', CLIENT_ID]]);
	});

	await t.test('moderation calls change the channel state', async () => {
		const ban = await call(info, ca, 'POST', '/helix/moderation/bans?broadcaster_id=1001&moderator_id=1001',
			{ ...helix, 'Content-Type': 'application/json' }, '{"data":{"user_id":"2002"}}');
		assert.strictEqual(ban.status, 200);
		assert.strictEqual(ban.json.data[0].end_time, null);
		const again = await call(info, ca, 'POST', '/helix/moderation/bans?broadcaster_id=1001&moderator_id=1001',
			{ ...helix, 'Content-Type': 'application/json' }, '{"data":{"user_id":"2002","duration":60}}');
		assert.strictEqual(again.status, 400);
		const banned = await call(info, ca, 'GET', '/helix/moderation/banned?broadcaster_id=1001&user_id=2002', helix);
		assert.strictEqual(banned.json.data[0].user_login, 'someone');
		const unban = await call(info, ca, 'DELETE', '/helix/moderation/bans?broadcaster_id=1001&moderator_id=1001&user_id=2002', helix);
		assert.strictEqual(unban.status, 204);
		assert.strictEqual(unban.text, '');
		const wrongModerator = await call(info, ca, 'DELETE', '/helix/moderation/chat?broadcaster_id=1001&moderator_id=5005', helix);
		assert.strictEqual(wrongModerator.status, 401);
		const noType = await call(info, ca, 'PATCH', '/helix/chat/settings?broadcaster_id=1001&moderator_id=1001', helix, '{"slow_mode":true}');
		assert.strictEqual(noType.status, 400);
	});

	await t.test('scripts come first; chatters are paged with a failing page', async () => {
		await control(info, '/twitch-api/script', { method: 'GET', path: '/helix/users', status: 500, body: '', once: true });
		const forced = await call(info, ca, 'GET', '/helix/users?login=someone', {});
		assert.deepStrictEqual([forced.status, forced.text], [500, '']);
		const after = await call(info, ca, 'GET', '/helix/users?login=someone', helix);
		assert.strictEqual(after.status, 200);

		const key = 'GET /helix/chat/chatters';
		await control(info, '/twitch-api/configure', { pageSize: { [key]: 2 }, fail: { [key]: { page: 3, status: 503 } } });
		const names = [];
		let cursor = '';
		let status = 0;
		for (let page = 0; page < 5; page++) {
			const answer = await call(info, ca, 'GET', `/helix/chat/chatters?first=1000&broadcaster_id=1001&moderator_id=1001${cursor ? `&after=${cursor}` : ''}`, helix);
			status = answer.status;
			if (status !== 200) break;
			assert.strictEqual(answer.json.total, 6);
			names.push(...answer.json.data.map((c) => c.user_login));
			cursor = answer.json.pagination.cursor;
			if (!cursor) break;
		}
		assert.deepStrictEqual([names, status], [['streamer', 'someone', 'raider', 'friend'], 503]);
	});

	await t.test('chat messages can be dropped; subscriptions refused or duplicated', async () => {
		const json = { ...helix, 'Content-Type': 'application/json' };
		await control(info, '/twitch-api/configure', { dropNext: { code: 'msg_duplicate', message: 'Your message is identical.' } });
		const message = '{"broadcaster_id":"1001","sender_id":"1001","message":"hi"}';
		const dropped = await call(info, ca, 'POST', '/helix/chat/messages', json, message);
		assert.deepStrictEqual(dropped.json.data[0], { message_id: '', is_sent: false,
			drop_reason: { code: 'msg_duplicate', message: 'Your message is identical.' } });
		const sent = await call(info, ca, 'POST', '/helix/chat/messages', json, message);
		assert.strictEqual(sent.json.data[0].is_sent, true);

		await control(info, '/twitch-api/configure', { refuseSubscriptions: [{ type: 'channel.hype_train.begin', version: '2', status: 400, message: 'no v2' }] });
		const subscribe = (type, version) => call(info, ca, 'POST', '/helix/eventsub/subscriptions', json, JSON.stringify({
			type, version, condition: { broadcaster_user_id: '1001' }, transport: { method: 'websocket', session_id: 'S1' },
		}));
		assert.deepStrictEqual(await subscribe('channel.hype_train.begin', '2').then((a) => [a.status, a.json.message]), [400, 'no v2']);
		const made = await subscribe('channel.hype_train.begin', '1');
		assert.deepStrictEqual([made.status, made.json.data[0].status, made.json.data[0].transport.session_id], [202, 'enabled', 'S1']);
		assert.strictEqual((await subscribe('channel.hype_train.begin', '1')).status, 409);
		const asModerator = await call(info, ca, 'POST', '/helix/eventsub/subscriptions', { ...json, Authorization: 'Bearer tok-mod' },
			JSON.stringify({ type: 'channel.poll.begin', version: '1', condition: { broadcaster_user_id: '1001' }, transport: { method: 'websocket', session_id: 'S1' } }));
		assert.strictEqual(asModerator.status, 403);
	});

	await t.test('eventsub welcomes, notifies and moves a session on reconnect', async () => {
		const url = `wss://${info.endpoints['twitch-eventsub']}/ws?keepalive_timeout_seconds=30`;
		const first = await connect(url, ca);
		const welcome = await first.next();
		assert.strictEqual(welcome.metadata.message_type, 'session_welcome');
		assert.strictEqual(welcome.payload.session.keepalive_timeout_seconds, 30);
		const id = welcome.payload.session.id;

		await control(info, '/twitch-eventsub/notify', { type: 'channel.follow', event: { user_id: '2002', broadcaster_user_id: '1001' } });
		const note = await first.next();
		assert.strictEqual(note.metadata.message_type, 'notification');
		assert.deepStrictEqual([note.metadata.subscription_type, note.metadata.subscription_version], ['channel.follow', '2']);
		assert.strictEqual(note.payload.subscription.transport.session_id, id);
		assert.deepStrictEqual(note.payload.subscription.condition, { broadcaster_user_id: '1001', moderator_user_id: '1001' });
		assert.strictEqual(note.payload.event.user_id, '2002');

		const closed = new Promise((resolve) => first.ws.once('close', (code) => resolve(code)));
		await control(info, '/twitch-eventsub/reconnect', {});
		const reconnect = await first.next();
		assert.strictEqual(reconnect.metadata.message_type, 'session_reconnect');
		const second = await connect(reconnect.payload.session.reconnect_url, ca);
		const moved = await second.next();
		assert.strictEqual(moved.metadata.message_type, 'session_welcome');
		assert.notStrictEqual(moved.payload.session.id, id);
		assert.strictEqual(await closed, 1000);

		second.ws.send('hello');
		const code = await new Promise((resolve) => second.ws.once('close', (c) => resolve(c)));
		assert.strictEqual(code, 4001);
		const { sessions } = await control(info, '/twitch-eventsub/sessions');
		assert.strictEqual(sessions[1].reconnectedFrom, id);
		assert.deepStrictEqual(sessions[1].received, ['hello']);
	});
});
