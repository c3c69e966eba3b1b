// The dock pages in Debian's Chromium against the developer host and the fake
// remote services (see harness.mjs for the environment it reads); last, the
// setup wizard against the fake sites.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { start, finish, startHost, linkState, openPage, readLines, screenshotPath, shoot, twitchLine, waitUntil } from './harness.mjs';
import { normaliseName } from '../../web/js/setup-names.js';

const CHANNEL = 'vanteo_demo';
const configDir = fs.mkdtempSync(path.join(os.tmpdir(), 'vanteo-pages-'));

let fakes, host, browser;
const problems = []; // requests that left the machine, script errors

async function sendChat(lines) {
	await fakes.command('twitch-chat', 'send', { lines, templates: true });
}

// Emote images come from the emote CDN, here the fake web service; the
// setup wizard finds its channels on the fake sites.
before(async () => {
	const prepare = async (f) => {
		await f.command('sites', 'twitch', { name: 'streamer', title: 'Streamer - Twitch' });
		await f.command('sites', 'youtube', { name: 'chan-nel', title: 'Chan Nel' });
		await f.command('sites', 'kick', { name: 'kicker', username: 'Kicker' });
		const avatar = `https://${f.info.endpoints['tiktok-web']}/avatar/tt.setup.svg`;
		await f.command('tiktok-web', 'room', { uniqueId: 'tt.setup', mode: 'offline', nickname: 'TT Setup', avatar });
	};
	({ fakes, host, browser } = await start({ firstPort: 18870, configDir, images: ['/emoticons/v2/'], prepare }));
});

after(async () => {
	fs.rmSync(configDir, { recursive: true, force: true });
	await finish({ fakes, host, browser, problems });
});

test('demo items reach both docks as a streamer sees them; the chat dock opens the setup', async () => {
	const chat = await openPage(browser, host, 'chat', '/', { problems });
	const feed = await openPage(browser, host, 'activity', '/feed.html', { problems });

	// Header: both links as the host reports them before any channel is set.
	assert.deepEqual(await chat.locator('.link .pname').allTextContents(), ['Twitch', 'TikTok']);
	assert.deepEqual(await chat.locator('.link .state').allTextContents(), ['disabled', 'disabled']);
	assert.deepEqual(await feed.locator('.viewer-count').allTextContents(), ['–', '–']);

	// Every kind through the activity page's own buttons, with their feedback.
	await feed.click('#demo summary');
	const kinds = ['follow', 'sub', 'resub', 'subgift', 'submysterygift', 'raid', 'cheer', 'viewers', 'ttgift', 'ttfollow', 'ttshare'];
	for (const kind of kinds) {
		await feed.click(`.demo-btn[data-kind="${kind}"]`);
		await feed.waitForFunction((k) => {
			const text = document.querySelector('.demo-feedback').textContent;
			return text.endsWith(': sent') && document.querySelector(`.demo-btn[data-kind="${k}"]`).disabled === false;
		}, kind);
	}
	// A gift sub right after the mystery gift of the same gifter is listed
	// under it rather than as an item of its own.
	await feed.click('.demo-btn[data-kind="subgift"]');
	await feed.waitForFunction(() => document.querySelector('.item-recipients')?.textContent === 'to Doravoviz');
	await feed.fill('.demo-name', 'Ann_Gifter');
	await feed.click('.demo-btn[data-kind="ttgift"]');
	await feed.waitForFunction(() => document.querySelector('.item .name')?.textContent === 'Ann_Gifter');

	// Activity list, newest first.
	const titles = await feed.locator('#feed .item .item-title').allTextContents();
	assert.deepEqual(titles, [
		'Ann_Gifter sent Rose ×5',
		'Test_User shared the LIVE',
		'Test_User followed',
		'Test_User sent Rose ×5',
		'Test_User cheered 100 bits',
		'Test_User is raiding with 42 viewers',
		'Test_User is gifting 5 subs',
		'Test_User gifted a sub to Doravoviz',
		'Test_User resubscribed for 12 months',
		'Test_User subscribed',
		'Test_User followed',
	]);
	assert.deepEqual(await feed.locator('.viewer-count').allTextContents(), ['35', '14']);
	assert.match(await feed.locator('#feed .item-time').first().textContent(), /^\d\d:\d\d$/);

	// The chat shows the same items, in order, with the name in its colour.
	await chat.waitForFunction(() => document.querySelectorAll('#chat > .line').length === 12);
	const lines = await chat.locator('#chat > .line').evaluateAll((nodes) =>
		nodes.map((n) => ({ platform: n.dataset.platform, text: n.textContent }))
	);
	assert.equal(lines[0].text, 'Test_User followed');
	assert.equal(lines[5].text, 'Test_User is raiding with 42 viewers');
	assert.equal(lines[6].text, 'Test_User: 100 bits Cheer100 great stream');
	assert.deepEqual(lines.slice(7).map((l) => l.platform), ['tiktok', 'tiktok', 'tiktok', 'twitch', 'tiktok']);
	assert.equal(await chat.locator('.line.msg .name').evaluate((n) => getComputedStyle(n).color), 'rgb(169, 112, 255)');

	// The send box says why it cannot send instead of pretending to.
	assert.equal(await chat.locator('#composer input').isDisabled(), true);
	assert.match(await chat.locator('#composer input').getAttribute('placeholder'), /Twitch account/);
	// The way back into the setup (without an embedded browser, the default
	// browser's: the developer host writes the address down).
	await chat.getByRole('button', { name: 'Open setup' }).click();
	await waitUntil(() => host.log.includes(`open ${host.url('setup', '/setup.html')}`), 'the setup to open');
	for (const page of [chat, feed]) await page.context().close();
});

test('Twitch chat shows names, colours, badges, emotes after an emoji, replies and /me', async () => {
	const chat = await openPage(browser, host, 'chat', '/', { problems });
	const feed = await openPage(browser, host, 'activity', '/feed.html', { problems });
	assert.deepEqual(await host.api('config', { twitch: CHANNEL }), { ok: true });
	await linkState(chat, 'twitch');
	await linkState(feed, 'twitch');
	const feedItems = await feed.locator('#feed .item').count(); // the recent items of the test above

	await sendChat([
		// "😀 hi Kappa there": the emoji is one position, so Kappa is 5-9.
		twitchLine({ id: 'm-owl', user: 'NightOwl', userId: '10001', color: '#1E90FF', badges: 'subscriber/12,premium/1', emotes: '25:5-9', text: '😀 hi Kappa there' })
			.replace('returning-chatter=0', 'returning-chatter=1'),
		twitchLine({ id: 'm-q', user: 'PixelPaws', userId: '10002', color: '#FF69B4', text: 'what game is next?' }).replace('first-msg=0', 'first-msg=1'),
		twitchLine({
			id: 'm-vera',
			user: 'VIPVera',
			userId: '10006',
			color: '#0000FF',
			badges: 'vip/1',
			text: '@PixelPaws horror night',
		}).replace(
			'room-id=',
			'reply-parent-display-name=PixelPaws;reply-parent-msg-body=what\\sgame\\sis\\snext?;reply-parent-msg-id=m-q;' +
				'reply-parent-user-id=10002;reply-parent-user-login=pixelpaws;room-id='
		),
		twitchLine({ id: 'm-me', user: 'NightOwl', userId: '10001', color: '#1E90FF', text: '\u0001ACTION waves at chat\u0001' }),
		twitchLine({ id: 'm-lurk', user: 'quietlurker', userId: '10010', text: 'gg' }),
		// Names and text are drawn as text, never as markup.
		twitchLine({ id: 'm-x', user: '<img\\ssrc=x\\sonerror=window.hit=1>', userId: '10011', emotes: '25:10-14', text: '<b>hi</b> Kappa' }),
	]);
	await chat.waitForFunction(() => document.querySelector('#chat > .line[data-id="m-x"]'));
	await chat.waitForFunction(() => Array.from(document.querySelectorAll('#chat img')).every((i) => i.complete));
	const [owl, question, vera, me, lurker, markup] = await readLines(chat, ['m-owl', 'm-q', 'm-vera', 'm-me', 'm-lurk', 'm-x']);

	assert.equal(owl.name, 'NightOwl');
	assert.equal(owl.color, 'rgb(30, 144, 255)');
	assert.deepEqual(owl.badges, [
		['/badge/subscriber.png', true],
		['/badge/premium.png', true],
	]);
	assert.deepEqual(owl.pieces, ['😀 hi ', '[Kappa]', ' there']);
	assert.deepEqual(owl.images.map(([p, loaded]) => [p.startsWith('/emoticons/v2/25/'), loaded]), [[true, true]]);
	assert.deepEqual(owl.notes, ['Returning chatter']);

	assert.deepEqual(question.notes, ['First message']);
	assert.deepEqual(question.classes, ['first']);

	// The reply shows its parent above it; a blue too dark for the dock is
	// lightened but stays blue.
	assert.deepEqual(vera.notes, ['↪@PixelPawswhat game is next?']);
	assert.deepEqual(vera.badges, [['/badge/vip.png', true]]);
	const [r, g, b] = vera.color.match(/\d+/g).map(Number);
	assert.ok(b > r && b > g && (r > 0 || g > 0), vera.color);

	assert.deepEqual(me.classes, ['action']);
	assert.deepEqual(me.pieces, ['waves at chat']);
	assert.equal(lurker.name, 'quietlurker');
	assert.deepEqual(lurker.badges, []);
	assert.equal(markup.name, '<img src=x onerror=window.hit=1>');
	assert.deepEqual(markup.pieces, ['<b>hi</b> ', '[Kappa]']);
	assert.equal(await chat.evaluate(() => document.querySelectorAll('#chat b, #chat .name img').length + (window.hit || 0)), 0);

	// Chat lines are not activity: the activity list stays as it was.
	assert.equal(await feed.locator('#feed .item').count(), feedItems);
	for (const page of [chat, feed]) await page.context().close();
});

test('moderator removals strike lines, time users out and clear the chat', async () => {
	const chat = await openPage(browser, host, 'chat', '/', { problems });
	await linkState(chat, 'twitch');
	// (A removal strikes lines of its own platform only: multi.test.mjs.)
	await host.api('demo', { kind: 'ttfollow', name: 'TikTokFan' });
	await sendChat([
		twitchLine({ id: 'm-s1', user: 'SpamBot42', userId: '10008', text: 'buy followers' }),
		twitchLine({ id: 'm-s2', user: 'SpamBot42', userId: '10008', text: 'cheap followers' }),
		twitchLine({ id: 'm-ok', user: 'NightOwl', userId: '10001', text: 'stay' }),
	]);
	await chat.waitForFunction(() => document.querySelector('#chat > .line[data-id="m-ok"]'));
	const state = (page = chat) =>
		page.locator('#chat > .line').evaluateAll((nodes) =>
			nodes.map((n) => {
				if (n.classList.contains('notice')) return n.textContent;
				if (n.dataset.platform === 'tiktok') return 'tiktok';
				return n.dataset.id + (n.classList.contains('deleted') ? '-' : '');
			})
		);

	await sendChat(['@login=spambot42;room-id={roomId};target-msg-id=m-s1;tmi-sent-ts={ts} :tmi.twitch.tv CLEARMSG #{channel} :buy followers']);
	await chat.waitForFunction(() => document.querySelector('[data-id="m-s1"]').classList.contains('deleted'));
	assert.deepEqual((await state()).slice(-3), ['m-s1-', 'm-s2', 'm-ok']);

	await sendChat(['@ban-duration=600;room-id={roomId};target-user-id=10008;tmi-sent-ts={ts} :tmi.twitch.tv CLEARCHAT #{channel} :spambot42']);
	await chat.waitForFunction(() => document.querySelector('#chat > .line:last-child').classList.contains('notice'));
	assert.deepEqual((await state()).slice(-4), ['m-s1-', 'm-s2-', 'm-ok', 'spambot42 was timed out for 10 min.']);

	// A dock opened now shows the recent lines as they are, each once; the
	// open one skips what it already shows.
	const before = await state();
	const later = await openPage(browser, host, 'chat', '/', { problems });
	await later.waitForFunction(() => document.querySelector('#chat > .line:last-child')?.classList.contains('notice'));
	assert.deepEqual(await state(later), before);
	await shoot(later, 'recent-chat', [320, 240]);
	assert.deepEqual(await state(), before);

	await sendChat(['@room-id={roomId};tmi-sent-ts={ts} :tmi.twitch.tv CLEARCHAT #{channel}']);
	await chat.waitForFunction(() => document.querySelector('#chat > .line:last-child').textContent.includes('cleared'));
	// Twitch lines are gone, the TikTok items and the notices stay; a page
	// opened later shows the same.
	const after = await state();
	assert.deepEqual(after.slice(-3), ['tiktok', 'spambot42 was timed out for 10 min.', 'The Twitch chat was cleared by a moderator.']);
	assert.ok(after.every((s) => s === 'tiktok' || s.endsWith('.')), after.join());
	await later.waitForFunction(() => document.querySelector('#chat > .line:last-child').textContent.includes('cleared'));
	const last = await openPage(browser, host, 'chat', '/', { problems });
	await last.waitForFunction(() => document.querySelector('#chat > .line:last-child')?.textContent.includes('cleared'));
	assert.deepEqual(await state(last), after);
	assert.deepEqual(await state(later), after);

	// The activity dock opened late lists the demo's items and this test's
	// TikTok follow, newest first, each once.
	const feed = await openPage(browser, host, 'activity', '/feed.html', { problems });
	await feed.waitForFunction(() => document.querySelector('#feed .item .item-title')?.textContent === 'TikTokFan followed');
	const titles = await feed.locator('#feed .item .item-title').allTextContents();
	assert.equal(titles.filter((t) => t === 'TikTokFan followed').length, 1);
	assert.equal(titles.filter((t) => t === 'Test_User is raiding with 42 viewers').length, 1);
	await shoot(feed, 'recent-activity', [320, 240]);
	for (const page of [chat, later, last, feed]) await page.context().close();
});

test('highlight words and mentions stand out; find, follow a name and back to the live chat', async () => {
	assert.deepEqual(await host.api('highlight-words', { words: ' giveaway ,, ' }), { ok: true });
	const chat = await openPage(browser, host, 'chat', '/', { problems });
	await linkState(chat, 'twitch');
	const mine = ['f-1', 'f-2', 'f-3', 'f-4'];
	await sendChat([
		twitchLine({ id: 'f-1', user: 'Zed_Fan', userId: '20001', text: 'when is the GIVEAWAY?' }),
		twitchLine({ id: 'f-2', user: 'Yara', userId: '20002', text: `hi @${CHANNEL} zebra` }),
		twitchLine({ id: 'f-3', user: 'Zed_Fan', userId: '20001', text: 'a zebra crossing' }),
		twitchLine({ id: 'f-4', user: 'Xavi', userId: '20003', text: 'giveaways are fun' }),
	]);
	await chat.waitForFunction(() => document.querySelector('#chat > .line[data-id="f-4"]'));
	const shown = () =>
		chat.evaluate((ids) => ids.filter((id) => {
			const line = document.querySelector(`#chat > .line[data-id="${id}"]`);
			return line && getComputedStyle(line).display !== 'none';
		}), mine);
	const marked = await chat.evaluate((ids) => ids.filter((id) => document.querySelector(`[data-id="${id}"]`).classList.contains('mention')), mine);
	assert.deepEqual(marked, ['f-1', 'f-2']); // the word, the channel; "giveaways" is another word

	await chat.keyboard.press('Control+f');
	assert.equal(await chat.evaluate(() => document.activeElement.className), 'find-input');
	await chat.keyboard.type('ZEBRA');
	assert.deepEqual(await shown(), ['f-2', 'f-3']);
	await chat.click('.find-mentions');
	assert.deepEqual(await shown(), ['f-2']);
	await chat.click('.find-mentions');
	await chat.click('#chat > .line[data-id="f-3"] .name');
	assert.equal(await chat.inputValue('.find-input'), '@Zed_Fan');
	assert.deepEqual(await shown(), ['f-1', 'f-3']);
	await shoot(chat, 'chat-find', [320, 240]);

	// What arrives meanwhile is kept, and shows once the bar closes.
	await sendChat([twitchLine({ id: 'f-5', user: 'Xavi', userId: '20003', text: 'still here' })]);
	mine.push('f-5');
	await chat.waitForFunction(() => document.querySelector('#chat > .line[data-id="f-5"]'));
	assert.deepEqual(await shown(), ['f-1', 'f-3']);
	await chat.keyboard.press('Escape');
	assert.equal(await chat.locator('#find').isHidden(), true);
	assert.deepEqual(await shown(), mine);
	await chat.context().close();
	assert.deepEqual(await host.api('highlight-words', { words: '' }), { ok: true });
});

test('StreamElements history, replay and the overlay player as the page shows them', async () => {
	const feed = await openPage(browser, host, 'activity', '/feed.html', { problems });

	// Before a token is stored the page says where to put it.
	await feed.click('#se summary');
	assert.equal(await feed.locator('.se-note').isVisible(), true);
	await feed.click('.se-load');
	await feed.waitForFunction(() => document.querySelector('.se-feedback').textContent === 'Connect StreamElements from the dock settings');

	// Settings: token and ad length, the length sent as text; a token
	// StreamElements refuses is reported with the status.
	const saveToken = async (token) => {
		await feed.fill('.se-token', token);
		await feed.click('.settings-save');
		await feed.waitForFunction(() => document.querySelector('.se-token').value === '');
	};
	await feed.click('#settings summary');
	await feed.fill('.ad-length', '90');
	await saveToken('not-a-token');
	await feed.waitForFunction(() => document.querySelector('.ad-start').textContent === 'Start ad (90 s)');
	assert.equal(await feed.locator('.settings-feedback').textContent(), 'Saved');
	assert.equal(await feed.locator('.se-note').isHidden(), true);
	assert.equal(await feed.locator('.settings-save').textContent(), 'Save and disconnect');
	await feed.click('.se-load');
	await feed.waitForFunction(() => document.querySelector('.se-feedback').textContent === 'StreamElements rejected the token (response 401)');
	assert.equal(await feed.locator('.se-feedback').getAttribute('data-kind'), 'error');

	await saveToken('se-token-1');
	await feed.click('.se-load');
	await feed.waitForFunction(() => document.querySelectorAll('.se-history .se-item').length === 5);
	assert.deepEqual(await feed.locator('.se-item .item-title').allTextContents(), [
		'Kind_Viewer tipped €5.00',
		'NewSub subscribed',
		'Bitsy cheered 250 bits',
		'Raider raided with 31 viewers',
		'Fresh_Follow followed',
	]);
	assert.equal(await feed.locator('.se-item .item-text').first().textContent(), 'for the coffee');

	await feed.locator('.se-item .se-replay').first().click();
	await feed.waitForFunction(() => document.querySelector('.se-feedback').textContent === 'Replayed: Kind_Viewer tipped €5.00');
	await feed.click('.se-action[data-action="skip"]');
	await feed.waitForFunction(() => document.querySelector('.se-feedback').textContent === 'Player: Skip');

	// Setup from the dock (where it opens: the first test).
	await feed.click('.setup-open');
	await feed.waitForFunction(() => document.querySelector('.settings-feedback').textContent === 'Setup opened');
	await feed.context().close();
});

test('both docks at 320 px and 240 px, with screenshots', async () => {
	const chat = await openPage(browser, host, 'chat', '/', { problems });
	const feed = await openPage(browser, host, 'activity', '/feed.html', { problems });
	await linkState(chat, 'twitch');
	const script = JSON.parse(fs.readFileSync(new URL('../../tools/demo/chat-script.json', import.meta.url), 'utf8'));
	await sendChat(script.lines.slice(0, 11));
	for (const kind of ['follow', 'sub', 'raid', 'ttgift', 'viewers']) await host.api('demo', { kind });
	host.send('pins', { data: [{ id: 'p2', message: { text: 'Giveaway at 100 followers, read !rules first' }, sender_user_name: 'ModMarta' }] });
	host.send('held', { id: 'h-1', userId: '70', name: 'SpamBot42', text: 'buy followers cheap', reason: 'automod', category: 'spam', resolved: false, approved: false });
	await chat.waitForFunction(() => document.querySelector('.held-item') && document.querySelectorAll('#chat > .line').length >= 15);
	await feed.waitForFunction(() => document.querySelectorAll('#feed .item').length >= 5);

	await feed.evaluate(() => {
		for (const d of document.querySelectorAll('.tools details')) d.open = d.id === 'se';
	});
	await feed.click('.se-load');
	await feed.waitForFunction(() => document.querySelectorAll('.se-item').length === 5);
	await chat.waitForFunction(() => Array.from(document.querySelectorAll('img')).every((i) => i.complete));

	// Nothing sticks out sideways, even in the narrowest dock.
	for (const width of [320, 240]) {
		for (const [name, page] of [['chat', chat], ['activity', feed]]) {
			await page.setViewportSize({ width, height: 700 });
			const overflow = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
			assert.equal(overflow, 0, `${name} at ${width} px`);
			await page.screenshot({ path: screenshotPath(`${name}-${width}.png`) });
		}
	}
	for (const page of [chat, feed]) await page.context().close();
	// The channel's chat stops with the channel.
	assert.deepEqual(await host.api('config', {}), { ok: true });
});

test('pictures that fail give way; loaded ones of cut lines serve new lines', async () => {
	const page = await openPage(browser, host, 'chat', '/', { problems });
	// Web images on a closed local port: accepted, and nothing leaves the machine.
	const badges = [
		{ url: '/badge/moderator.png', title: 'Moderatore' },
		{ url: 'https://127.0.0.1:9/badges/sub/1', title: 'Subscriber' },
	];
	await page.evaluate(async (badges) => {
		const { chatLine } = await import('/js/render.js');
		const emotes = [{ start: 0, end: 4, url: 'https://127.0.0.1:9/emotes/25' }];
		document.body.append(chatLine({ id: 'x1', platform: 'twitch', name: 'n', text: 'Kappa hi', badges, emotes, time: 0 }));
	}, badges);
	// An emote that cannot load reads as its code; such a badge goes.
	await page.waitForFunction(() => {
		const line = document.querySelector('body > .line');
		return !line.querySelector('.text img') && line.querySelector('img.badge.broken') && line.querySelector('img.badge').naturalWidth > 0;
	});
	const after = await page.evaluate(async (badges) => {
		const { chatLine } = await import('/js/render.js');
		const { reuseImages } = await import('/js/dom.js');
		const line = document.querySelector('body > .line');
		const [kept, broken] = line.querySelectorAll('img.badge');
		line.remove();
		reuseImages([line]);
		const next = chatLine({ id: 'x2', platform: 'twitch', name: 'n', text: 'hi', badges, time: 0 }).querySelectorAll('img.badge');
		return { text: line.querySelector('.text').textContent, reused: [next[0] === kept, next[1] === broken] };
	}, badges);
	assert.deepEqual(after, { text: 'Kappa hi', reused: [true, false] });
	await page.context().close();
});

test('the chat keeps a bounded list and waits while the reader scrolls back', async () => {
	const page = await openPage(browser, host, 'chat', '/', { problems });
	const state = await page.evaluate(async () => {
		const { LiveList } = await import('/js/live-list.js');
		const box = document.getElementById('chat');
		const jump = document.getElementById('jump');
		// Take over the page's own list element with a fresh list.
		const fresh = box.cloneNode(false);
		box.replaceWith(fresh);
		const list = new LiveList(fresh, { max: 300, newestAt: 'bottom', jumpButton: jump });
		const line = (i) => Object.assign(document.createElement('div'), { className: 'line', textContent: 'line ' + i });
		const frame = () => new Promise((r) => requestAnimationFrame(() => setTimeout(r, 20)));
		// Lines made when the list takes them in: those cut at once never are.
		let made = 0;
		for (let i = 0; i < 350; i++) list.add(() => (made++, line(i)));
		await frame();
		const atEnd = fresh.scrollHeight - fresh.clientHeight - fresh.scrollTop;
		const first = fresh.firstElementChild.textContent;

		fresh.scrollTop = 200; // the reader scrolls back
		await frame();
		const anchor = fresh.children[40];
		const anchorTop = anchor.getBoundingClientRect().top;
		const shift = () => Math.round(anchor.getBoundingClientRect().top - anchorTop);
		for (let i = 350; i < 360; i++) list.add(line(i));
		await frame();
		// Sub-pixel line heights may round the compensation by a pixel.
		const reading = { jumpShown: !jump.hidden, jumpText: jump.textContent, still: Math.abs(shift()) <= 1, grew: list.size > 300 };
		for (let i = 360; i < 1000; i++) list.add(line(i));
		await frame();
		const longRead = { size: list.size, stillThere: anchor.isConnected };
		jump.click();
		await frame();
		return {
			first,
			made,
			atEnd,
			reading,
			longRead,
			after: { size: list.size, jumpShown: !jump.hidden, gap: fresh.scrollHeight - fresh.clientHeight - fresh.scrollTop },
		};
	});
	assert.equal(state.first, 'line 50');
	assert.equal(state.made, 300);
	assert.ok(state.atEnd <= 1, `following: ${state.atEnd}px from the end`);
	// Lines above the view go, the ones being read stay where they are.
	assert.deepEqual(state.reading, { jumpShown: true, jumpText: 'Jump to newest (10)', still: true, grew: true });
	// A long read cannot grow the list without bound.
	assert.ok(state.longRead.size <= 450, `size while reading: ${state.longRead.size}`);
	assert.equal(state.longRead.stillThere, false);
	assert.equal(state.after.size, 300);
	assert.equal(state.after.jumpShown, false);
	assert.ok(state.after.gap <= 1);
	await page.context().close();
});

test('a page reconnects by itself when the server comes back', async () => {
	const page = await openPage(browser, host, 'chat', '/', { problems });
	const banner = page.locator('.stream-down');
	assert.equal(await banner.isHidden(), true);

	const port = host.port;
	await host.stop();
	await banner.waitFor({ state: 'visible' });

	host = await startHost({ firstPort: port, fakes, configDir });
	assert.equal(host.port, port, 'the host came back on the same port');
	await banner.waitFor({ state: 'hidden', timeout: 15000 });
	await host.api('demo', { kind: 'raid', name: 'Back_Again' });
	await page.waitForFunction(() => document.querySelector('#chat > .line:last-child')?.textContent.startsWith('Back_Again'));
	await page.context().close();
});

const openSetup = ({ width = 700, height = 600 } = {}) =>
	openPage(browser, host, 'setup', '/setup.html', { width, height, problems, snapshot: false });

// What a field shows under it: the channel found, or the error.
function result(page, platform) {
	return page.evaluate((key) => {
		const root = document.querySelector(`.setup-channel[data-platform="${key}"]`);
		const img = root.querySelector('.setup-avatar img');
		return {
			check: root.dataset.check,
			display: root.querySelector('.setup-display')?.textContent ?? null,
			handle: root.querySelector('.setup-handle')?.textContent ?? null,
			live: root.querySelector('.setup-live')?.textContent ?? null,
			error: root.querySelector('.setup-error')?.textContent ?? null,
			picture: img ? img.complete && img.naturalWidth > 0 : null,
			invalid: root.querySelector('input').getAttribute('aria-invalid'),
		};
	}, platform);
}

function readConfig() {
	const file = path.join(host.configDir, 'config.json');
	return fs.existsSync(file) ? JSON.parse(fs.readFileSync(file, 'utf8')) : {};
}

test('a new user completes the setup against the fakes', async () => {
	await fakes.command('sites', 'requests', { clear: true });
	const page = await openSetup();
	await page.waitForFunction(() => document.activeElement?.id === 'ch-twitch');
	await page.screenshot({ path: screenshotPath('setup-1-empty.png') });

	// What each field shows for what is typed, in this order: a name the rule
	// refuses is answered at once, without asking anyone; a channel that does
	// not exist says so next to its field, and fixing the name replaces the
	// message.
	const found = (display, handle, live = null) => ({ check: 'ok', display, handle, live, error: null, picture: true, invalid: 'false' });
	const refused = (check, error) => ({ check, display: null, handle: null, live: null, error, picture: null, invalid: 'true' });
	const fields = [
		['twitch', 'ab', refused('invalid', 'Twitch names have 3 to 25 letters, digits or “_”')],
		['twitch', 'https://www.twitch.tv/Streamer/', found('Streamer', '@streamer')],
		['tiktok', '@TT.Setup', found('TT Setup', '@tt.setup', 'Offline')],
		['youtube', 'https://youtube.com/@nobody', refused('error', 'No YouTube channel matches this name')],
		['youtube', '@Chan-Nel', found('Chan Nel', '@chan-nel')],
		['kick', 'kick.com/kicker', refused('invalid', 'Paste the whole address, starting with https://, or type the name only')],
		['kick', 'https://kick.com/Kicker', found('Kicker', '@kicker', 'Live')],
	];
	for (const [platform, typed, want] of fields) {
		await page.locator(`#ch-${platform}`).fill('');
		await page.locator(`#ch-${platform}`).pressSequentially(typed, { delay: 30 });
		// The field's answer, and its picture when it has one.
		await page.waitForFunction((key) => {
			const root = document.querySelector(`.setup-channel[data-platform="${key}"]`);
			const img = root.querySelector('.setup-avatar img');
			return ['ok', 'error', 'invalid', 'empty'].includes(root.dataset.check) && (!img || img.complete);
		}, platform);
		assert.deepEqual(await result(page, platform), want, `${platform} "${typed}"`);
	}
	// Typing waits for a pause: only the finished name is looked up.
	const { requests } = await fakes.command('sites', 'requests');
	assert.deepEqual(requests.filter((r) => r.site === 'twitch-web' && !r.path.startsWith('/avatar/')).map((r) => r.path), ['/streamer']);
	await page.screenshot({ path: screenshotPath('setup-1-channels.png') });

	// Nothing is stored while the wizard is open.
	assert.equal(readConfig().tiktok ?? '', '');

	// Enter moves on; the account and the switches come next.
	await page.locator('#ch-kick').press('Enter');
	await page.waitForFunction(() => document.activeElement?.id === 'step-extras');
	await page.getByRole('button', { name: 'Connect Twitch Account' }).click();
	await page.waitForFunction(() => document.getElementById('account-note').textContent.includes('sign-in page is open'));
	await waitUntil(() => host.log.some((line) => line.startsWith('open ') && line.includes('/oauth2/authorize?')), 'the sign-in page');
	// The page Twitch returns to hands the token to the plug-in.
	assert.deepEqual(await host.connectAccount('tok-streamer'), { login: 'streamer' });
	await page.waitForFunction(() => document.getElementById('account-login').textContent === 'streamer');
	const autoGame = page.getByRole('switch', { name: /Automatic game capture/ });
	const replay = page.getByRole('switch', { name: /Replay buffer notifications/ });
	assert.equal(await autoGame.isChecked(), true);
	assert.equal(await replay.isChecked(), true);
	await autoGame.uncheck();
	await page.screenshot({ path: screenshotPath('setup-2-extras.png') });

	await page.getByRole('button', { name: 'Next' }).click();
	const summary = await page.locator('#summary').innerText();
	for (const line of ['Streamer (@streamer)', 'TT Setup (@tt.setup)', 'Chan Nel (@chan-nel)', 'Kicker (@kicker)', 'Found · live now', 'Automatic game capture\nOff']) {
		assert.ok(summary.includes(line), `review shows "${line}" in:\n${summary}`);
	}
	await page.screenshot({ path: screenshotPath('setup-3-review.png') });
	assert.equal(readConfig().tiktok ?? '', '');
	assert.equal(fs.existsSync(path.join(host.configDir, 'gamecapture.txt')), false);

	await page.getByRole('button', { name: 'Finish' }).click();
	await page.waitForFunction(() => document.activeElement?.id === 'step-done');
	await page.screenshot({ path: screenshotPath('setup-4-done.png') });

	// Stored ("/api/config" restarts the connections, as in multi.test.mjs).
	const gameCapture = path.join(host.configDir, 'gamecapture.txt');
	await waitUntil(() => readConfig().setupDone && fs.existsSync(gameCapture), 'the setup to be stored');
	const stored = readConfig();
	assert.deepEqual([stored.twitch, stored.tiktok, stored.youtube, stored.kick], ['streamer', 'tt.setup', 'chan-nel', 'kicker']);
	assert.equal(fs.readFileSync(gameCapture, 'utf8'), '0');
	await page.context().close();
});

test('the wizard fits a narrow dock and a small dialog', async () => {
	for (const [width, height] of [[240, 600], [700, 600]]) {
		const page = await openSetup({ width, height });
		// The stored names come back and are checked again (from the cache).
		await page.waitForFunction(() => document.querySelector('.setup-channel[data-platform="kick"]').dataset.check === 'ok');
		const layout = await page.evaluate(() => {
			const rect = (selector) => document.querySelector(selector).getBoundingClientRect();
			return {
				overflow: document.documentElement.scrollWidth - document.documentElement.clientWidth,
				footBottom: rect('.setup-foot').bottom,
				nextRight: rect('#next').right,
				inputWidth: rect('#ch-twitch').width,
			};
		});
		assert.equal(layout.overflow, 0, `no sideways scrolling at ${width}px`);
		assert.ok(layout.footBottom <= height + 0.5, `the buttons stay in view at ${width}x${height}`);
		assert.ok(layout.nextRight <= width, `Next is inside the window at ${width}px`);
		assert.ok(layout.inputWidth >= Math.min(width - 40, 560), `fields use the width at ${width}px`);
		await page.screenshot({ path: screenshotPath(`setup-${width}.png`), fullPage: true });
		await page.context().close();
	}
});

test('the page refuses exactly the names the plug-in refuses', async () => {
	const inputs = ['ab', 'abc', 'Some.Name', 'some-name', 'x'.repeat(25), 'x'.repeat(26), 'https://twitch.tv/',
		'https://twitch.tv//', 'HTTP://WWW.TWITCH.TV/Abc', 'http://twitch.tv/abc', 'https://\u212Aick.com/abc',
		'https://www.tiktok.com/@a.b?x=1', '@@name//', 'zo\u00eb', 'na me'];
	for (const platform of ['twitch', 'kick']) {
		for (const input of inputs) {
			const local = normaliseName(input, platform === 'twitch');
			const reply = await host.api('check', { platform, name: input.trim() });
			const refused = reply.error === 'Invalid name';
			assert.equal(refused, !local.name, `${platform} "${input}": page ${JSON.stringify(local)}, plug-in ${JSON.stringify(reply)}`);
			if (reply.ok) assert.equal(reply.name, local.name);
		}
	}
});
