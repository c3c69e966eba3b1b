'use strict';
// The endpoint names of the module's table (src/common/endpoints.cpp). Every one
// of them is pointed at a local service while the fakes run, so that nothing
// under test reaches the internet: names without a fake of their own go to the
// scriptable web service.
module.exports.ENDPOINT_NAMES = [
	'twitch-chat',
	'twitch-eventsub',
	'twitch-helix',
	'twitch-id',
	'twitch-web',
	'twitch-emote-cdn',
	'7tv-api',
	'7tv-cdn',
	'bttv-api',
	'bttv-cdn',
	'ffz-api',
	'ffz-cdn',
	'tiktok-web',
	'tiktok-signer',
	'streamelements',
	'youtube',
	'kick',
	'kick-pusher',
	'kick-files',
	'github-api',
	'github-raw',
	'github-web',
];
