'use strict';
// Fake TikTok signing service: GET /webcast/rooms/<roomId>/connect?... answers
// with a protobuf body (10 push address, 2 cursor, 5 internal extension,
// 7 route parameters {1 key, 2 value}) and the x-set-tt-cookie header, like
// the real service. The push address points at the tiktok-push fake.
//
// Commands (POST /tiktok-signer/<command>):
//   configure {status (200), cookie (string, null: no header), pushAddress
//              ("{push}" stands for the push fake's host:port), cursor,
//              internalExt, routeParams [[key, value]..]}
// Records carry the room id (`roomId`) and the query as an object (`query`).

const { RecordingService, Answer } = require('../lib/recording');
const { encode } = require('./tiktok_wire');

const DEFAULTS = {
	status: 200,
	cookie: 'ttwid=1%7Cfake; tt-target-idc=useast2a',
	pushAddress: 'wss://{push}/webcast/im/push/v2/',
	cursor: '1700000000000_7300000000000000001_1_1_0_0',
	internalExt: 'internal_src:dim|wss_push_room_id:7300000000000000001|fetch_time:1700000000000',
	routeParams: [['wrss', 'aBc-123_x'], ['im_path', '/webcast/im/fetch/'], ['empty', ''], ['', 'novalue'],
		['region', 'us east']],
};

class TikTokSigner extends RecordingService {
	constructor(context) {
		super(context, 'tiktok-signer', { 'tiktok-signer': 'server' });
		this.routes = [{ method: '*', match: /^\/webcast\/rooms\/([^/]*)\/connect$/, answer: () => {
			const status = Number(this.config.status);
			const headers = { 'Content-Type': status === 200 ? 'application/x-protobuf' : 'application/json' };
			if (this.config.cookie !== null && this.config.cookie !== undefined) headers['x-set-tt-cookie'] = this.config.cookie;
			return new Answer(status, status === 200 ? this.body() : Buffer.from(JSON.stringify({ error: `status ${status}` })), headers);
		} }];
	}

	fresh() {
		this.config = structuredClone(DEFAULTS);
	}

	missing() {
		return new Answer(404, 'not found\n', { 'Content-Type': 'text/plain' });
	}

	note(req, url) {
		const match = /^\/webcast\/rooms\/([^/]*)\/connect$/.exec(url.pathname);
		return { roomId: match ? match[1] : null, query: Object.fromEntries(url.searchParams) };
	}

	body() {
		const c = this.config;
		const push = String(c.pushAddress).replaceAll('{push}', this.context.tiktokPushAddress || '127.0.0.1:9');
		return encode([
			[1, '7300000000000000001'],
			[2, c.cursor],
			[5, c.internalExt],
			...c.routeParams.map(([k, v]) => [7, [[1, k || undefined], [2, v || undefined]]]),
			[8, 1000],
			[10, push],
		]);
	}

	command_configure(args) {
		Object.assign(this.config, args);
		return { config: this.config };
	}
}

module.exports = { TikTokSigner };
