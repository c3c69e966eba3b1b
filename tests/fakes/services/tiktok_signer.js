'use strict';
// Fake TikTok signing service: GET /webcast/rooms/<roomId>/connect?... answers
// with a protobuf body (10 push address, 2 cursor, 5 internal extension,
// 7 route parameters {1 key, 2 value}) and the x-set-tt-cookie header, like
// the real service. The push address points at the tiktok-push fake.
//
// Commands (POST /tiktok-signer/<command>):
//   configure {status (200), cookie (string, null: no header), pushAddress
//              ("{push}" stands for the push fake's host:port), cursor,
//              internalExt, routeParams [[key, value]..], omitPush, bodyBase64}
//   requests {clear}   {requests: [{path, roomId, query, headers}]}
//   reset

const https = require('node:https');
const { Listener } = require('../lib/listener');
const { tlsOptions } = require('../certs');
const { headerPairs } = require('../lib/headers');
const { encode } = require('./tiktok_wire');

const DEFAULTS = {
	status: 200,
	cookie: 'ttwid=1%7Cfake; tt-target-idc=useast2a',
	pushAddress: 'wss://{push}/webcast/im/push/v2/',
	cursor: '1700000000000_7300000000000000001_1_1_0_0',
	internalExt: 'internal_src:dim|wss_push_room_id:7300000000000000001|fetch_time:1700000000000',
	routeParams: [['wrss', 'aBc-123_x'], ['im_path', '/webcast/im/fetch/'], ['empty', ''], ['', 'novalue'],
		['region', 'us east']],
	omitPush: false,
	bodyBase64: undefined,
};

class TikTokSigner {
	constructor(context) {
		this.context = context;
		this.name = 'tiktok-signer';
		this.config = structuredClone(DEFAULTS);
		this.records = [];
	}

	async start() {
		this.server = https.createServer(tlsOptions(this.context.certs.server), (req, res) => this.request(req, res));
		this.server.on('tlsClientError', () => {});
		this.listener = new Listener(this.name, this.server);
		this.endpoints = { 'tiktok-signer': await this.listener.listen() };
	}

	async stop() {
		await this.listener.close();
	}

	body() {
		const c = this.config;
		if (c.bodyBase64 !== undefined) return Buffer.from(c.bodyBase64, 'base64');
		const push = String(c.pushAddress).replaceAll('{push}', this.context.tiktokPushAddress || '127.0.0.1:9');
		return encode([
			[1, '7300000000000000001'],
			[2, c.cursor],
			[5, c.internalExt],
			...c.routeParams.map(([k, v]) => [7, [[1, k || undefined], [2, v || undefined]]]),
			[8, 1000],
			[10, c.omitPush ? undefined : push],
		]);
	}

	request(req, res) {
		const url = new URL(req.url, 'https://127.0.0.1');
		const match = /^\/webcast\/rooms\/([^/]*)\/connect$/.exec(url.pathname);
		this.records.push({
			path: req.url,
			roomId: match ? match[1] : null,
			query: Object.fromEntries(url.searchParams),
			headers: headerPairs(req.rawHeaders),
		});
		req.resume();
		if (!match) {
			res.writeHead(404, { 'Content-Type': 'text/plain' });
			res.end('not found\n');
			return;
		}
		const status = Number(this.config.status);
		const body = status === 200 ? this.body() : Buffer.from(JSON.stringify({ error: `status ${status}` }));
		const headers = {
			'Content-Type': status === 200 ? 'application/x-protobuf' : 'application/json',
			'Content-Length': String(body.length),
		};
		if (this.config.cookie !== null && this.config.cookie !== undefined) headers['x-set-tt-cookie'] = this.config.cookie;
		res.writeHead(status, headers);
		res.end(body);
	}

	async command(name, args) {
		switch (name) {
		case 'configure':
			Object.assign(this.config, args);
			return { config: this.config };
		case 'requests': {
			const requests = this.records;
			if (args.clear) this.records = [];
			return { requests };
		}
		case 'reset':
			await this.reset();
			return { ok: true };
		default:
			throw new Error(`tiktok-signer: unknown command ${name}`);
		}
	}

	async reset() {
		this.config = structuredClone(DEFAULTS);
		this.records = [];
		this.listener.destroyAll();
	}
}

module.exports = { TikTokSigner };
