// A live TikTok room on the fakes, as the streamer sees it in the chat dock:
// the link states, chat lines, a finished gift combo with its picture, likes
// with the room's total, and the viewer count that clears when the live ends.
//   node --experimental-default-type=module --test tests/browser/tiktok.test.mjs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { start, finish, linkState, openPage, screenshotPath, waitUntil } from './harness.mjs';

const ACCOUNT = 'tt.host';
let fakes, host, browser;
const problems = []; // requests that left the machine, script errors

// Gift pictures come from TikTok's image host, here the fake web service.
before(async () => ({ fakes, host, browser } = await start({
	firstPort: 18920, images: ['/gift/'], prepare: (f) => f.command('tiktok-web', 'room', { uniqueId: ACCOUNT, roomId: '7380000000000000001' }),
})));

after(() => finish({ fakes, host, browser, problems }));

function tiktokLink(page) {
	return page.evaluate(() => {
		const row = document.querySelector('.link.plat-tiktok');
		return { state: row.dataset.state, detail: row.querySelector('.detail').textContent,
			viewers: row.querySelector('.viewer-count').textContent };
	});
}

test('a live TikTok room reaches the chat dock', async () => {
	const chat = await openPage(browser, host, 'chat', '/', { problems });
	assert.deepEqual(await host.api('config', { twitch: '', tiktok: ACCOUNT }), { ok: true });
	await linkState(chat, 'tiktok');
	assert.deepEqual(await tiktokLink(chat), { state: 'connected', detail: `Listening · @${ACCOUNT}`, viewers: '–' });
	await waitUntil(async () => (await fakes.command('tiktok-push', 'state')).sessions[0]?.entered, 'the room entered');

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

	// The frame that asked for it was acknowledged.
	const session = (await fakes.command('tiktok-push', 'state')).sessions[0];
	assert.deepEqual(session.acks.map((a) => [a.logId, a.matches]), [['500', true]]);
	assert.deepEqual(session.problems, []);

	// The count reaches a page with the next viewers event (here the one a
	// newly opened page gets), and is gone once the live connection ends.
	await chat.reload();
	await chat.waitForFunction(() => document.querySelector('.link.plat-tiktok .viewer-count')?.textContent === '251');
	await fakes.command('tiktok-push', 'close');
	await linkState(chat, 'tiktok', 'retry');
	await chat.reload();
	await chat.waitForFunction(() => document.querySelector('.link.plat-tiktok')?.dataset.state !== undefined);
	const after = await tiktokLink(chat);
	assert.equal(after.viewers, '–');
	assert.match(after.detail, /^(TikTok connection closed · retrying|Checking live status|Listening · @tt\.host)$/);
	await chat.context().close();
});
