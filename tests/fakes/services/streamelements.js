'use strict';
// Fake StreamElements API (HTTPS, the "streamelements" endpoint): the four
// calls the plug-in makes, with bearer-token checks as the real service does
// them, and a record of every request exactly as it arrived.
//
//   GET  /kappa/v2/channels/me                       {"_id": channel of the token, ...}
//   GET  /kappa/v2/activities/<channel>?limit=..     the configured activity list
//   POST /kappa/v2/activities/<channel>/mock         records the replayed activity
//   PUT  /kappa/v2/overlays/<channel>/action         records {"action": ...}
//
// An unknown token gets 401; a token used on another token's channel gets
// 403; other paths 404.
//
// Commands (POST /streamelements/<command>):
//   configure {tokens: {token: channelId}, activities: [..],
//              status: {me, history, replay, action}   a status forces that
//              call's answer (with an error body) whatever the token,
//              hold: {me, ...}}  answers of that call wait for "release"
//   release   {}        sends every held answer, computed when it arrived
//   requests  {clear}   {requests: [{method, path, headers: [[n, v]..], body}]}
//   reset     {}

const https = require('node:https');
const { Listener } = require('../lib/listener');
const { tlsOptions } = require('../certs');
const { headerPairs } = require('../lib/headers');

const CHANNEL = '5e0c4a1b2c3d4e5f60718293';

function sampleActivities(channel) {
	const at = (minutes) => new Date(Date.UTC(2024, 4, 1, 20, 0, 0) - minutes * 60000).toISOString();
	const item = (id, type, minutes, data) => ({
		_id: id,
		channel,
		type,
		provider: 'twitch',
		createdAt: at(minutes),
		updatedAt: at(minutes),
		flagged: false,
		data,
	});
	return [
		item('a1', 'tip', 2, { username: 'kind_viewer', displayName: 'Kind_Viewer', amount: 5, currency: 'EUR', message: 'for the coffee' }),
		item('a2', 'subscriber', 5, { username: 'newsub', displayName: 'NewSub', amount: 1, tier: '1000', message: '' }),
		item('a3', 'cheer', 9, { username: 'bitsy', displayName: 'Bitsy', amount: 250, message: 'Cheer250 nice' }),
		item('a4', 'raid', 14, { username: 'raider', displayName: 'Raider', amount: 31 }),
		item('a5', 'follow', 20, { username: 'fresh_follow', displayName: 'Fresh_Follow' }),
	];
}

function defaults() {
	return {
		tokens: { 'se-token-1': CHANNEL },
		activities: sampleActivities(CHANNEL),
		status: {},
		hold: {},
	};
}

class StreamElements {
	constructor(context) {
		this.context = context;
		this.name = 'streamelements';
		this.config = defaults();
		this.records = [];
		this.held = [];
	}

	async start() {
		this.server = https.createServer(tlsOptions(this.context.certs.server), (req, res) => this.request(req, res));
		this.server.on('tlsClientError', () => {});
		this.listener = new Listener(this.name, this.server);
		const port = await this.listener.listen();
		this.endpoints = { streamelements: port };
	}

	async stop() {
		await this.listener.close();
	}

	request(req, res) {
		const chunks = [];
		req.on('data', (chunk) => chunks.push(chunk));
		req.on('end', () => {
			const body = Buffer.concat(chunks).toString('utf8');
			this.records.push({ method: req.method, path: req.url, headers: headerPairs(req.rawHeaders), body });
			const [status, reply, name] = this.answer(req, body);
			const text = JSON.stringify(reply);
			const send = () => {
				res.writeHead(status, { 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(text) });
				res.end(text);
			};
			if (name && this.config.hold[name]) this.held.push(send);
			else send();
		});
	}

	// [status, reply object, call name or undefined]
	answer(req, body) {
		const url = new URL(req.url, 'https://127.0.0.1');
		const parts = url.pathname.split('/').filter(Boolean);
		if (parts[0] !== 'kappa' || parts[1] !== 'v2') return [404, { error: 'Not Found' }];
		const route = this.route(req.method, parts.slice(2));
		if (!route) return [404, { statusCode: 404, error: 'Not Found' }];
		const [status, reply] = this.routeAnswer(req, body, route);
		return [status, reply, route.name];
	}

	routeAnswer(req, body, route) {
		const forced = this.config.status[route.name];
		if (forced !== undefined) return [Number(forced), { statusCode: Number(forced), error: 'Forced by the test' }];

		const auth = req.headers.authorization || '';
		const token = auth.startsWith('Bearer ') ? auth.slice(7) : '';
		const channel = Object.prototype.hasOwnProperty.call(this.config.tokens, token) ? this.config.tokens[token] : null;
		if (!channel) return [401, { statusCode: 401, error: 'Unauthorized', message: 'invalid token' }];
		if (route.channel !== undefined && route.channel !== channel) {
			return [403, { statusCode: 403, error: 'Forbidden', message: 'not your channel' }];
		}

		switch (route.name) {
		case 'me':
			return [200, { _id: channel, username: 'streamer', displayName: 'Streamer', provider: 'twitch' }];
		case 'history':
			return [200, this.config.activities];
		case 'replay':
			try {
				JSON.parse(body);
			} catch {
				return [400, { statusCode: 400, error: 'Bad Request' }];
			}
			return [200, { ok: true }];
		case 'action':
			return [200, { ok: true }];
		default:
			return [404, {}];
		}
	}

	route(method, parts) {
		if (method === 'GET' && parts.length === 2 && parts[0] === 'channels' && parts[1] === 'me') return { name: 'me' };
		if (method === 'GET' && parts.length === 2 && parts[0] === 'activities') return { name: 'history', channel: parts[1] };
		if (method === 'POST' && parts.length === 3 && parts[0] === 'activities' && parts[2] === 'mock') {
			return { name: 'replay', channel: parts[1] };
		}
		if (method === 'PUT' && parts.length === 3 && parts[0] === 'overlays' && parts[2] === 'action') {
			return { name: 'action', channel: parts[1] };
		}
		return null;
	}

	async command(name, args) {
		switch (name) {
		case 'configure':
			for (const key of ['tokens', 'activities', 'status', 'hold']) {
				if (args[key] !== undefined) this.config[key] = args[key];
			}
			return { ok: true };
		case 'release': {
			const held = this.held;
			this.held = [];
			for (const send of held) send();
			return { released: held.length };
		}
		case 'requests': {
			const requests = this.records;
			if (args.clear) this.records = [];
			return { requests };
		}
		case 'reset':
			await this.reset();
			return { ok: true };
		default:
			throw new Error(`streamelements: unknown command ${name}`);
		}
	}

	async reset() {
		this.config = defaults();
		this.records = [];
		this.held = [];
		this.listener.destroyAll();
	}
}

module.exports = { StreamElements, CHANNEL };
