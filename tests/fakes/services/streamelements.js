'use strict';
// Fake StreamElements API (HTTPS, the "streamelements" endpoint): the four
// calls the plug-in makes (the routes below), with bearer-token checks as the
// real service does them: an unknown token gets 401, a token used on another
// token's channel 403.
//
// Commands (POST /streamelements/<command>):
//   configure {tokens: {token: channelId}, activities: [..],
//              status: {me, history, replay, action}   a status forces that
//              call's answer (with an error body) whatever the token,
//              hold: {me, ...}}  answers of that call wait for "release"
//   release   {}        sends every held answer, computed when it arrived

const { RecordingService, Answer } = require('../lib/recording');

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
	return { tokens: { 'se-token-1': CHANNEL }, activities: sampleActivities(CHANNEL), status: {}, hold: {} };
}

// One route per call, by name; `channel` is the channel in the path.
function call(name, method, match, reply) {
	return {
		method,
		match,
		answer(ctx) {
			const answer = this.check(name, ctx.req, ctx.match[1]) || new Answer(200, reply.call(this, ctx));
			answer.hold = Boolean(this.config.hold[name]);
			return answer;
		},
	};
}

class StreamElements extends RecordingService {
	constructor(context) {
		super(context, 'streamelements', { streamelements: 'server' });
		this.routes = [
			call('me', 'GET', /^\/kappa\/v2\/channels\/(me)$/, function me(ctx) {
				return { _id: this.channelOf(this.tokenOf(ctx.req)), username: 'streamer', displayName: 'Streamer', provider: 'twitch' };
			}),
			call('history', 'GET', /^\/kappa\/v2\/activities\/([^/]+)$/, function history() {
				return this.config.activities;
			}),
			call('replay', 'POST', /^\/kappa\/v2\/activities\/([^/]+)\/mock$/, () => ({ ok: true })),
			call('action', 'PUT', /^\/kappa\/v2\/overlays\/([^/]+)\/action$/, () => ({ ok: true })),
		];
	}

	fresh() {
		this.config = defaults();
	}

	tokenOf(req) {
		const auth = req.headers.authorization || '';
		return auth.startsWith('Bearer ') ? auth.slice(7) : '';
	}

	channelOf(token) {
		return Object.prototype.hasOwnProperty.call(this.config.tokens, token) ? this.config.tokens[token] : null;
	}

	// A forced status, then the token's checks: an Answer, or null to go on.
	check(name, req, channelInPath) {
		const forced = this.config.status[name];
		if (forced !== undefined) return new Answer(Number(forced), { statusCode: Number(forced), error: 'Forced by the test' });
		const channel = this.channelOf(this.tokenOf(req));
		if (!channel) return new Answer(401, { statusCode: 401, error: 'Unauthorized', message: 'invalid token' });
		if (name !== 'me' && channelInPath !== channel) {
			return new Answer(403, { statusCode: 403, error: 'Forbidden', message: 'not your channel' });
		}
		return null;
	}

	command_configure(args) {
		for (const key of ['tokens', 'activities', 'status', 'hold']) {
			if (args[key] !== undefined) this.config[key] = args[key];
		}
	}
}

module.exports = { StreamElements, CHANNEL };
