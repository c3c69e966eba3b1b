// A live TikTok room in the chat dock as the streamer sees it; then Twitch,
// TikTok, Kick and YouTube in one chat dock: the four links with their
// counts, lines with their platform, a removal kept to its platform, and a
// YouTube chat that stops answering sensibly.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { start, finish, linkState, openPage, screenshotPath, twitchLine, waitUntil } from './harness.mjs';

const KICK_ROOM = 'chatrooms.668.v2';
const ACCOUNT = 'tt.host';
let fakes, host, browser;
const problems = [];

// The push session of a room once the client has entered it.
const entered = (roomId) => waitUntil(async () => (await fakes.command('tiktok-push', 'state')).sessions
	.some((s) => s.open && s.entered?.roomId === roomId), `TikTok room ${roomId} entered`);

// Kick's emote pictures and TikTok's gift pictures come from their file
// hosts, here the fake web service.
before(async () => ({ fakes, host, browser } = await start({ firstPort: 18960, images: ['/emotes/', '/gift/'], prepare: async (f) => {
	await f.command('tiktok-web', 'room', { uniqueId: ACCOUNT, roomId: '7380000000000000001' });
	await f.command('tiktok-web', 'room', { uniqueId: 'tt.multi', roomId: '7380000000000000002' });
	await f.command('sites', 'kick', { name: 'kickmulti', mode: 'raw', body: JSON.stringify({
		id: 1, user: { username: 'KickMulti', profile_pic: '' }, chatroom: { id: 668 }, livestream: { viewer_count: 12 } }) });
	await f.command('youtube-live', 'live', { name: 'ytmulti', viewers: 7, timeoutMs: 1000 });
} })));

after(() => finish({ fakes, host, browser, problems }));

// The header's links: [name, state, detail, viewer count] each.
const links = (page) => page.locator('.link').evaluateAll((rows) => rows.map((r) => [r.querySelector('.pname').textContent,
	r.dataset.state, r.querySelector('.detail').textContent, r.querySelector('.viewer-count').textContent]));

test('a live TikTok room reaches the chat dock', async () => {
	const chat = await openPage(browser, host, 'chat', '/', { problems });
	assert.deepEqual(await host.api('config', { twitch: '', tiktok: ACCOUNT }), { ok: true });
	await linkState(chat, 'tiktok');
	assert.deepEqual((await links(chat)).find((l) => l[0] === 'TikTok'), ['TikTok', 'connected', `Listening · @${ACCOUNT}`, '–']);
	await entered('7380000000000000001');

	const gift = (repeat, repeatEnd) => ({
		method: 'WebcastGiftMessage', msgId: 31, user: { nickname: 'Gia', uniqueId: 'gia' }, repeat, repeatEnd,
		gift: { name: 'Rose', type: 1, diamonds: 5, image: `https://127.0.0.1:${fakes.info.ports.web}/gift/rose.png` },
	});
	await fakes.command('tiktok-push', 'send', { frames: [
		{ gzip: true, logId: '500', needAck: true, internalExt: 'ext-500', messages: [
			{ method: 'WebcastChatMessage', msgId: 30, user: { nickname: 'Ann', uniqueId: 'ann' }, text: 'hello from TikTok',
				identity: { moderator: true } },
			gift(1, 0),
			gift(2, 0),
			{ method: 'WebcastRoomUserSeqMessage', viewers: 250 },
		] },
		{ gzip: true, messages: [
			gift(3, 1),
			{ method: 'WebcastLikeMessage', msgId: 32, user: { nickname: 'Lee' }, count: 15, total: 1200 },
			{ method: 'WebcastMemberMessage', msgId: 33, user: { nickname: 'Jo' }, viewers: 251, action: 1 },
		] },
	] });

	await chat.waitForFunction(() => document.querySelectorAll('#chat > .line[data-platform="tiktok"]').length === 4);
	await chat.waitForFunction(() => document.querySelector('img.event-image')?.complete);
	const lines = await chat.locator('#chat > .line').evaluateAll((nodes) => nodes.map((n) => ({
		text: n.textContent,
		quiet: n.classList.contains('quiet'),
		picture: n.querySelector('img.event-image') ? [new URL(n.querySelector('img.event-image').src).pathname,
			n.querySelector('img.event-image').complete && n.querySelector('img.event-image').naturalWidth > 0] : null,
		badges: Array.from(n.querySelectorAll('img.badge')).map((i) => i.getAttribute('src')),
	})));
	assert.deepEqual(lines, [
		{ text: 'Ann: hello from TikTok', quiet: false, picture: null, badges: ['/badge/moderator.png'] },
		{ text: 'Gia sent Rose ×315 diamonds', quiet: false, picture: ['/gift/rose.png', true], badges: [] },
		{ text: 'Lee liked the LIVE ×151,200 likes in total', quiet: true, picture: null, badges: [] },
		{ text: 'Jo joined', quiet: true, picture: null, badges: [] },
	]);
	await chat.screenshot({ path: screenshotPath('tiktok-chat.png') });

	// (The acknowledgement of the first frame: TikTokClientTest.LiveRoomEndToEnd.)
	// The count reaches a page with the next viewers event (here the one a
	// newly opened page gets), and is gone once the live connection ends.
	await chat.reload();
	await chat.waitForFunction(() => document.querySelector('.link.plat-tiktok .viewer-count')?.textContent === '251');
	await fakes.command('tiktok-push', 'close');
	await linkState(chat, 'tiktok', 'retry');
	await chat.reload();
	await chat.waitForFunction(() => document.querySelector('.link.plat-tiktok')?.dataset.state !== undefined);
	const [, , detail, viewers] = (await links(chat)).find((l) => l[0] === 'TikTok');
	assert.equal(viewers, '–');
	assert.match(detail, /^(TikTok connection closed · retrying|Checking live status|Listening · @tt\.host)$/);
	await chat.context().close();
});

test('four platforms share one chat', async () => {
	const chat = await openPage(browser, host, 'chat', '/', { problems, width: 400 });
	assert.deepEqual(await host.api('config', { twitch: 'multi_host', tiktok: 'tt.multi', kick: 'kickmulti', youtube: 'ytmulti' }), { ok: true });
	await chat.waitForFunction(() => [...document.querySelectorAll('.link')].filter((r) => r.dataset.state === 'connected').length === 4);
	await waitUntil(async () => (await fakes.command('kick-pusher', 'state')).sessions.some((s) => s.subscribed.includes(KICK_ROOM)), 'Kick subscription');
	await entered('7380000000000000002');

	await fakes.command('twitch-chat', 'send', { templates: true,
		lines: [twitchLine({ id: 'tw1', user: 'Twi', userId: '77', text: 'from Twitch' })] });
	await fakes.command('tiktok-push', 'send', { frames: [{ gzip: true, messages: [
		{ method: 'WebcastChatMessage', msgId: 40, user: { nickname: 'Tik', uniqueId: 'tik' }, text: 'from TikTok' }] }] });
	await fakes.command('kick-pusher', 'send', { channel: KICK_ROOM, events: [
		{ event: 'App\\Events\\ChatMessageEvent', data: { id: 'k1', chatroom_id: 668, content: 'from Kick [emote:37226:KEKW]', type: 'message',
			sender: { id: 77, username: 'Kik', identity: { color: '#53FC18', badges: [{ type: 'moderator', text: 'Moderator' }] } } } },
		{ event: 'App\\Events\\GiftedSubscriptionsEvent', data: { chatroom_id: 668, gifted_usernames: ['a', 'b', 'c'], gifter_username: 'Gif' } },
	] });
	await fakes.command('youtube-live', 'send', { actions: [
		{ addChatItemAction: { item: { liveChatTextMessageRenderer: { id: 'yt1', authorName: { simpleText: '@you' },
			authorExternalChannelId: 'UCyou', message: { runs: [{ text: 'from YouTube ' }, { emoji: { emojiId: '🎉' } }] } } } } },
		{ addChatItemAction: { item: { liveChatPaidMessageRenderer: { id: 'yt2', authorName: { simpleText: '@fan' },
			purchaseAmountText: { simpleText: '$5.00' }, bodyBackgroundColor: 4280191205, message: { runs: [{ text: 'keep going' }] } } } } },
	] });

	// Six lines after the four of the TikTok test before.
	await chat.waitForFunction(() => document.querySelectorAll('#chat > .line').length >= 10);
	const lines = await chat.locator('#chat > .line').evaluateAll((nodes) => nodes.map((n) =>
		`${n.dataset.platform} ${n.querySelector('.plat-mark')?.title} ${n.textContent}`));
	for (const expected of ['twitch Twitch Twi: from Twitch', 'tiktok TikTok Tik: from TikTok', 'kick Kick Kik: from Kick ',
		'kick Kick Gif is gifting 3 subs', 'youtube YouTube @you: from YouTube 🎉', 'youtube YouTube @fan sent a Super Chat of $5.00keep going']) {
		assert.ok(lines.includes(expected), `${expected} in ${JSON.stringify(lines)}`);
	}
	const superChat = await chat.locator('#chat > .line.event[data-platform="youtube"]').evaluate((n) => getComputedStyle(n).borderLeftColor);
	assert.equal(superChat, 'rgb(30, 136, 229)');
	await chat.waitForFunction(() => document.querySelector('#chat img.emote')?.naturalWidth > 0);

	// Kick times its user 77 out: Twitch's user 77 is someone else.
	await fakes.command('kick-pusher', 'send', { channel: KICK_ROOM, events: [
		{ event: 'App\\Events\\UserBannedEvent', data: { id: 'b', user: { id: 77, username: 'Kik' }, permanent: false, duration: 10 } }] });
	await chat.waitForFunction(() => document.querySelector('#chat > .line[data-platform="kick"][data-id="k1"]')?.classList.contains('deleted'));
	assert.equal(await chat.locator('#chat > .line[data-id="tw1"]').evaluate((n) => n.classList.contains('deleted')), false);
	assert.ok((await chat.locator('#chat > .line.notice').allTextContents()).includes('Kik was timed out for 10 min.'));

	await chat.reload();
	await chat.waitForFunction(() => document.querySelector('.link.plat-youtube .viewer-count')?.textContent === '7');
	assert.deepEqual((await links(chat)).map((l) => l[0]), ['Twitch', 'TikTok', 'Kick', 'YouTube']);
	assert.equal((await links(chat))[2][3], '12');
	await chat.screenshot({ path: screenshotPath('multi-chat.png') });

	// YouTube answers something else: its link says so, the others stay.
	await fakes.command('youtube-live', 'mode', { answer: 'broken' });
	await chat.waitForFunction(() => document.querySelector('.link.plat-youtube .detail')?.textContent === 'YouTube chat unavailable · retrying');
	assert.deepEqual((await links(chat)).map((l) => l[1]), ['connected', 'connected', 'connected', 'retry']);
	await chat.context().close();
});
