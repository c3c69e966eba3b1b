'use strict';
// Fake TikTok signing service: GET /webcast/rooms/<roomId>/connect?... answers
// with a protobuf body (10 push address, 2 cursor, 5 internal extension,
// 7 route parameters {1 key, 2 value}) and the x-set-tt-cookie header, like
// the real service. The push address points at the tiktok-push fake.
//
// Command (POST /tiktok-signer/<command>): configure {status (200)}.
// Records carry the room id (`roomId`).

const { RecordingService, Answer } = require('../lib/recording');
const { encode } = require('./tiktok_wire');

// Route parameters as TikTok sends them, with an empty value and an empty key.
const ROUTE_PARAMS = [['wrss', 'aBc-123_x'], ['im_path', '/webcast/im/fetch/'], ['empty', ''], ['', 'novalue'],
	['region', 'us east']];

class TikTokSigner extends RecordingService {
	constructor(context) {
		super(context, 'tiktok-signer', { 'tiktok-signer': 'server' });
		this.routes = [{ method: '*', match: /^\/webcast\/rooms\/([^/]*)\/connect$/, answer: () => {
			const status = this.status;
			const headers = { 'Content-Type': status === 200 ? 'application/x-protobuf' : 'application/json',
				'x-set-tt-cookie': 'ttwid=1%7Cfake; tt-target-idc=useast2a' };
			return new Answer(status, status === 200 ? this.body() : Buffer.from(JSON.stringify({ error: `status ${status}` })), headers);
		} }];
	}

	fresh() {
		this.status = 200;
	}

	note(req, url) {
		const match = /^\/webcast\/rooms\/([^/]*)\/connect$/.exec(url.pathname);
		return { roomId: match ? match[1] : null };
	}

	body() {
		return encode([
			[1, '7300000000000000001'],
			[2, '1700000000000_7300000000000000001_1_1_0_0'],
			[5, 'internal_src:dim|wss_push_room_id:7300000000000000001|fetch_time:1700000000000'],
			...ROUTE_PARAMS.map(([k, v]) => [7, [[1, k || undefined], [2, v || undefined]]]),
			[8, 1000],
			[10, `wss://${this.context.tiktokPushAddress}/webcast/im/push/v2/`],
		]);
	}

	command_configure(args) {
		this.status = Number(args.status ?? this.status);
	}
}

module.exports = { TikTokSigner };
