'use strict';
// Fake third-party emote providers (7TV, BetterTTV, FrankerFaceZ): one HTTPS
// listener per host the module names, answering from the table below in the
// shapes the providers document (only the fields the module reads, plus a
// few it must ignore); the CDN hosts serve a small SVG per emote. Zero-width
// emotes: 7TV's flag bit 0, BetterTTV's fixed list (cvHazmat), FFZ's modifier.
//
// Until told to serve, the global sets are empty and every channel is
// unknown (404, as the providers answer), so that suites not about these
// emotes see none. Once serving, every numeric channel id has the same
// channel sets.
//
// Commands (POST /emotes/<command>), besides the recording base's:
//   serve {on = true}           the sets above (the demo and emote tests)
//   fail {host, status = 500}   that API host answers every request so

const { RecordingService, Answer } = require('../lib/recording');

const HOSTS = ['7tv-api', '7tv-cdn', 'bttv-api', 'bttv-cdn', 'ffz-api', 'ffz-cdn'];

const seven = (id, name, flags = 0) => ({
	id, name, flags, timestamp: 0,
	data: { id, name, flags: 0, animated: false, host: { url: `//cdn.7tv.app/emote/${id}`, files: [{ name: '2x.webp', width: 64, height: 64 }] } },
});
const SEVEN_GLOBAL = { id: 'global', name: 'Global Emotes', emotes: [seven('7tvEZ01', 'EZ'), seven('7tvRain01', 'RainTime', 1)] };
const SEVEN_CHANNEL = { id: 'chan7', name: 'Channel set', emotes: [seven('7tvCatJam', 'catJAM')] };

const bttv = (id, code) => ({ id, code, imageType: 'png', animated: false });
const BTTV_GLOBAL = [bttv('bttvMonkaS', 'monkaS'), bttv('bttvHazmat', 'cvHazmat')];
const BTTV_CHANNEL = { channelEmotes: [bttv('bttvKekw', 'KEKW')], sharedEmotes: [bttv('bttvClap', 'Clap')] };

const ffz = (id, name, modifier = false) => ({
	id, name, modifier, modifier_flags: 0, height: 32, width: 32,
	urls: { 1: `https://cdn.frankerfacez.com/emote/${id}/1`, 2: `https://cdn.frankerfacez.com/emote/${id}/2` },
});
const FFZ_GLOBAL = {
	default_sets: [3],
	sets: { 3: { id: 3, emoticons: [ffz(9, 'ZreknarF')] }, 4330: { id: 4330, emoticons: [ffz(10, 'NotForAll')] } },
	users: { 4330: ['someone'] },
};
const FFZ_ROOM = (id) => ({
	room: { twitch_id: Number(id), id: 'vanteo_demo', set: 777 },
	sets: { 777: { id: 777, emoticons: [ffz(128054, 'OMEGALUL'), ffz(720507, 'ffzHat', true)] } },
});

const EMPTY = { '7tv-api': { id: 'global', emotes: [] }, 'bttv-api': [], 'ffz-api': { default_sets: [], sets: {} } };

// Image colours by emote id; zero-width ones are a hat on a clear ground.
const IMAGES = {
	'7tvEZ01': [0x29, 0xb6, 0xf6], '7tvRain01': null, '7tvCatJam': [0x4f, 0x8c, 0xff],
	bttvMonkaS: [0xe5, 0x39, 0x35], bttvHazmat: null, bttvKekw: [0xff, 0x8a, 0x65], bttvClap: [0xff, 0xca, 0x28],
	9: [0x43, 0xa0, 0x47], 10: [0x43, 0xa0, 0x47], 128054: [0x66, 0xbb, 0x6a], 720507: null,
};

// A 64 x 64 picture: a round face of the colour, or (null) a yellow hat
// over a transparent lower half, which shows the emote beneath.
function emoteSvg(rgb) {
	const shape = rgb
		? `<circle cx="32" cy="32" r="30" fill="rgb(${rgb})"/><path d="M19 22h7M38 22h7M19 42h26" stroke="#202020" stroke-width="6"/>`
		: '<path d="M32 3L18 22h28zM6 22h52v5H6z" fill="#ffd54f"/>';
	return `<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">${shape}</svg>`;
}

// host -> [[path pattern, answer(match)]]; an answer is JSON or a Buffer.
const ROUTES = {
	'7tv-api': [[/^\/v3\/emote-sets\/global$/, () => SEVEN_GLOBAL], [/^\/v3\/users\/twitch\/(\d+)$/, (m) => ({ id: m[1], platform: 'TWITCH', emote_set: SEVEN_CHANNEL })]],
	'bttv-api': [[/^\/3\/cached\/emotes\/global$/, () => BTTV_GLOBAL], [/^\/3\/cached\/users\/twitch\/(\d+)$/, (m) => ({ id: m[1], bots: [], ...BTTV_CHANNEL })]],
	'ffz-api': [[/^\/v1\/set\/global$/, () => FFZ_GLOBAL], [/^\/v1\/room\/id\/(\d+)$/, (m) => FFZ_ROOM(m[1])]],
	'7tv-cdn': [[/^\/emote\/([\w-]+)\/2x\.webp$/, (m) => m[1]]],
	'bttv-cdn': [[/^\/emote\/([\w-]+)\/2x$/, (m) => m[1]]],
	'ffz-cdn': [[/^\/emote\/([\w-]+)\/[12]$/, (m) => m[1]]],
};

class EmoteProviders extends RecordingService {
	constructor(context) {
		super(context, 'emotes', Object.fromEntries(HOSTS.map((host) => [host, 'server'])));
		this.routes = [{ method: 'GET', match: /^/, answer: (ctx) => this.answer(ctx.host, ctx.url.pathname) }];
	}

	fresh() {
		this.serving = false;
		this.failing = new Map();
	}

	command_serve(args) {
		this.serving = args.on !== false;
	}

	command_fail(args) {
		this.failing.set(args.host, Number(args.status || 500));
	}

	answer(host, path) {
		const json = (status, value) => new Answer(status, value, { 'Access-Control-Allow-Origin': '*' });
		if (this.failing.has(host)) return json(this.failing.get(host), { error: 'failing' });
		for (const [pattern, answer] of ROUTES[host] || []) {
			const m = pattern.exec(path);
			if (!m) continue;
			if (host.endsWith('-api') && !this.serving) return m[1] ? json(404, { message: 'user not found' }) : json(200, EMPTY[host]);
			const value = answer(m);
			if (!host.endsWith('-cdn')) return json(200, value);
			if (!(value in IMAGES)) break;
			return new Answer(200, emoteSvg(IMAGES[value]), { 'Content-Type': 'image/svg+xml', 'Access-Control-Allow-Origin': '*' });
		}
		return json(404, { error: 'not found' });
	}
}

module.exports = { EmoteProviders };
