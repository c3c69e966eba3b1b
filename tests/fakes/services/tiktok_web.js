'use strict';
// Fake TikTok web host: the room lookup (/api-live/user/room/?uniqueId=)
// answers per account name the way www.tiktok.com does, the profile card
// (/oembed?url=<profile address>) with the account's "author_name", and
// /avatar/<name>.svg with a small picture. Records carry the lookup's name
// as `uniqueId`.
//
// Commands (POST /tiktok-web/<command>):
//   room {uniqueId, mode: live | offline | user_not_found | status | raw,
//        roomId, liveStatus, status, body, nickname, avatar, once}; names
//        without an answer get "user_not_found", "once" answers go first
//   oembed {uniqueId, authorName, status}: the card for that profile;
//        profiles without one get 400 as from TikTok

const { RecordingService, Answer } = require('../lib/recording');
const { avatarSvg } = require('./sites');

const LOOKUP_PATH = '/api-live/user/room/';

function lookupAnswer(name, a) {
	const user = (roomId) => {
		const u = { id: '6800000000000000001', uniqueId: name, nickname: a.nickname !== undefined ? a.nickname : name, roomId };
		if (a.avatar !== undefined) u.avatarThumb = a.avatar;
		return u;
	};
	switch (a.mode || 'live') {
	case 'status':
		return { status: Number(a.status || 500), body: a.body !== undefined ? String(a.body) : 'error' };
	case 'raw':
		return { status: Number(a.status || 200), body: String(a.body || '') };
	case 'user_not_found':
		return { status: 200, body: JSON.stringify({ message: 'user_not_found', statusCode: 19881007 }) };
	default: {
		const live = (a.mode || 'live') === 'live';
		const data = {
			user: user(String(a.roomId || '7300000000000000001')),
			liveRoom: { status: Number(a.liveStatus ?? (live ? 2 : 4)), title: `${name} live` },
		};
		return { status: 200, body: JSON.stringify({ data, message: '', statusCode: 0 }) };
	}
	}
}

const json = (status, body) => new Answer(status, body, { 'Content-Type': 'application/json' });

class TikTokWeb extends RecordingService {
	constructor(context) {
		super(context, 'tiktok-web', { 'tiktok-web': 'server' });
		this.routes = [
			{ method: '*', path: LOOKUP_PATH, answer: ({ q }) => {
				const uniqueId = q.get('uniqueId');
				const once = this.onceAnswers.findIndex((a) => a.uniqueId === uniqueId);
				const a = once >= 0 ? this.onceAnswers.splice(once, 1)[0] : this.answers.get(uniqueId);
				const { status, body } = lookupAnswer(uniqueId, a || { mode: 'user_not_found' });
				return json(status, body);
			} },
			{ method: '*', path: '/oembed', answer: ({ q }) => this.oembed(q) },
			{ method: '*', match: /^\/avatar\/([^/]+)\.svg$/, answer: ({ match }) =>
				new Answer(200, avatarSvg('tiktok-web', decodeURIComponent(match[1])), { 'Content-Type': 'image/svg+xml' }) },
		];
	}

	fresh() {
		this.answers = new Map();
		this.cards = new Map();
		this.onceAnswers = [];
	}

	note(req, url) {
		return { uniqueId: url.searchParams.get('uniqueId') };
	}

	// The card of the profile named in the "url" query value (taken as the
	// text after its last "/@").
	oembed(q) {
		const target = q.get('url') || '';
		const at = target.lastIndexOf('/@');
		const card = at >= 0 ? this.cards.get(target.slice(at + 2)) : undefined;
		const status = card ? Number(card.status || 200) : 400;
		return json(status, status !== 200
			? JSON.stringify({ code: 400, message: 'Something went wrong', data: null })
			: JSON.stringify({ version: '1.0', type: 'video', provider_name: 'TikTok', author_url: target,
				...(card.authorName !== undefined ? { author_name: card.authorName } : {}) }));
	}

	command_oembed(args) {
		if (typeof args.uniqueId !== 'string') throw new Error('oembed needs a uniqueId');
		this.cards.set(args.uniqueId, args);
	}

	command_room(args) {
		if (typeof args.uniqueId !== 'string') throw new Error('room needs a uniqueId');
		if (args.once) this.onceAnswers.push(args);
		else this.answers.set(args.uniqueId, args);
	}
}

module.exports = { TikTokWeb };
