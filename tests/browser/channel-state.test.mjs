// The Twitch channel state in the chat dock, against the developer host and
// the fakes: the emote picker (Twitch's and the third-party providers'
// emotes) and what it puts in the send box, third-party emotes in a line and
// their switch, the chatter list and the user card it opens, the pinned
// message and the live viewer count.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { start, finish, openPage, screenshotPath, shoot, twitchLine, waitUntil } from './harness.mjs';

const { emoteGroups, insertEmote } = await import('../../web/js/emote-picker.js');
const { chatterSections, chatterTarget } = await import('../../web/js/chatters.js');

const PINNED = {
	data: [
		{
			id: 'pin-1',
			sender_user_name: 'Streamer',
			message: { text: 'Giveaway at 8 pm: type !join in chat to enter, winners are drawn live on stream' },
			pinned_by_user_name: 'Helper',
		},
	],
};

let fakes, host, browser;
let chat;
const problems = [];

before(async () => {
	// Signed in from the start: the account's state is there at once.
	// Twitch's own emote images come from the fake web service.
	({ fakes, host, browser } = await start({
		firstPort: 18990, config: { twitch: 'streamer', token: 'tok-streamer', setupDone: true }, images: ['/emoticons/v2/'],
		prepare: async (f) => {
			await f.command('twitch-api', 'configure', { pins: PINNED });
			await f.command('emotes', 'serve');
		},
	}));
	chat = await openPage(browser, host, 'chat', '/', { width: 400, height: 700, problems });
	await chat.waitForFunction(() => !document.querySelector('.composer-emotes').disabled);
});

after(() => finish({ fakes, host, browser, problems }));

test('the pages read the emote and chatter replies defensively', () => {
	const view = emoteGroups(
		{
			emotes: [
				{ name: 'b', url: 'https://x/b', group: 'Friend' },
				{ name: 'c', url: '', group: 'Friend' },
				{ name: 'd', url: 'https://x/d', group: 'unlisted' },
				null,
			],
			groups: [{ name: 'Friend', avatar: 'https://x/f' }, { name: 'Empty' }],
		},
		'streamer'
	);
	// (The groups of a real reply, their order and the search: the picker test below.)
	assert.deepEqual(view.groups.map((g) => [g.label, g.emotes.map((e) => e.name).join()]), [['Friend', 'b'], ['unlisted', 'd']]);
	assert.deepEqual(emoteGroups({ groups: [] }), { error: 'Unexpected reply' });

	// Spaces set the name apart, a selection is replaced, Twitch's limit holds.
	assert.deepEqual(insertEmote('a b', 1, 1, 'K'), { value: 'a K b', caret: 4 });
	assert.deepEqual(insertEmote('say xyz now', 4, 7, 'K'), { value: 'say K now', caret: 6 });
	assert.equal(insertEmote('x'.repeat(495), 495, 495, 'Kappa'), null);

	const chatters = chatterSections({ broadcaster: null, moderators: [], vips: [], bots: ['Nightbot'], viewers: ['Someone', 7, ''], total: 3 });
	assert.deepEqual(chatters.sections.map((s) => [s.key, s.names.join()]), [['bots', 'Nightbot'], ['viewers', 'Someone']]);
	assert.equal(chatterTarget('小明'), null);
});

test('the pinned message and the live viewer count show from the start', async () => {
	await chat.waitForSelector('#pin:not([hidden])');
	assert.equal(await chat.locator('#pin .pin-name').textContent(), 'Streamer');
	assert.match(await chat.locator('#pin .pin-text').textContent(), /Giveaway at 8 pm/);
	await chat.waitForFunction(() => document.querySelector('.plat-twitch .viewer-count').textContent === '42');
	await shoot(chat, 'state-pins');

	// A new pin replaces the bar; an empty list hides it.
	host.send('pins', { data: [{ id: 'pin-2', message: { text: 'Be kind' }, sender_user_name: 'Helper' }] });
	await chat.waitForFunction(() => document.querySelector('#pin .pin-text')?.textContent.endsWith('Be kind'));
	host.send('pins', { data: [] });
	await chat.waitForSelector('#pin', { state: 'hidden' });
});

// "Kappa" and the last "Clap" carry Twitch's own ranges, which win over
// BetterTTV's "Clap". KEKW, (BTTV) catJAM, EZ (7TV), OMEGALUL (FFZ);
// zero-width: cvHazmat (BTTV) over Kappa, RainTime (7TV) over catJAM,
// ffzHat (FFZ) over OMEGALUL; "KEKW," is not a word of its own.
const EMOTE_TEXT = 'Kappa cvHazmat KEKW catJAM RainTime OMEGALUL ffzHat EZ KEKW, Clap';
const emoteLine = (id) => twitchLine({ id, user: 'NightOwl', userId: '10001', text: EMOTE_TEXT }).replace('emotes=;', 'emotes=25:0-4/1902:61-64;');

// The line's text as a person reads it: emotes as [code], zero-width ones
// as [base+overlay]; and every image with its host's path and whether it
// loaded.
function readLine(page, id) {
	return page.evaluate((wanted) => {
		const text = document.querySelector(`#chat > .line[data-id="${wanted}"] .line-body .text`);
		if (!text) return null;
		const alt = (n) => (n.nodeName === 'IMG' ? n.alt : Array.from(n.children).map((i) => i.alt).join('+'));
		return {
			pieces: Array.from(text.childNodes).map((n) => (n.nodeType === 3 ? n.textContent : `[${alt(n)}]`)),
			images: Array.from(text.querySelectorAll('img')).map((i) => [new URL(i.src).pathname, i.complete && i.naturalWidth > 0]),
			// Each overlay's box against its base's: same centre, no width of its own.
			stacks: Array.from(text.querySelectorAll('.emote-stack')).map((s) => {
				const [base, ...over] = Array.from(s.children).map((i) => i.getBoundingClientRect());
				const box = s.getBoundingClientRect();
				return over.every((o) => Math.abs(o.x + o.width / 2 - (base.x + base.width / 2)) < 1.5 && box.width <= Math.max(base.width, o.width) + 0.5);
			}),
		};
	}, id);
}

test('third-party emotes in a line', async () => {
	await chat.setViewportSize({ width: 320, height: 400 });

	// The sets load once the reader joined; lines before that stay words.
	let n = 0;
	const shown = await waitUntil(async () => {
		const id = `emo-${++n}`;
		await fakes.command('twitch-chat', 'send', { lines: [emoteLine(id)], templates: true });
		await chat.waitForSelector(`#chat > .line[data-id="${id}"]`);
		await chat.waitForFunction((i) => Array.from(document.querySelectorAll(`#chat > .line[data-id="${i}"] img`)).every((m) => m.complete), id);
		const read = await readLine(chat, id);
		return read.images.length === 9 && read;
	}, 'a line with the third-party emotes');
	assert.deepEqual(shown.pieces, ['[Kappa+cvHazmat]', ' ', '[KEKW]', ' ', '[catJAM+RainTime]', ' ', '[OMEGALUL+ffzHat]', ' ', '[EZ]', ' KEKW, ', '[Clap]']);
	// Twitch's own Kappa and Clap (the providers' addresses: ThirdPartyEmotes.ProviderAnswers).
	assert.deepEqual([shown.images[0][0], shown.images[8][0]], ['/emoticons/v2/25/default/dark/2.0', '/emoticons/v2/1902/default/dark/2.0']);
	assert.ok(shown.images.every(([, loaded]) => loaded), JSON.stringify(shown.images));
	assert.deepEqual(shown.stacks, [true, true, true]);
	for (const width of [320, 240]) {
		await chat.setViewportSize({ width, height: 400 });
		await chat.screenshot({ path: screenshotPath(`emotes-${width}.png`) });
	}
});

test('the emote picker lists the account’s emotes by channel, then the providers’, and types them into the send box', async () => {
	await chat.setViewportSize({ width: 400, height: 700 });
	await chat.click('.composer-emotes');
	await chat.waitForSelector('.emote-picker .ep-emote');
	assert.equal(await chat.getAttribute('.composer-emotes', 'aria-expanded'), 'true');
	const groups = await chat.$$eval('.ep-group', (list) =>
		list.map((g) => [
			g.querySelector('.ep-group-name').textContent,
			[...g.querySelectorAll('.ep-emote')].map((b) => b.getAttribute('aria-label')).join(),
			!!g.querySelector('.ep-avatar'),
		])
	);
	assert.deepEqual(groups.slice(0, 4), [
		['streamer', 'strmHi,strmLove', false],
		['Friend', 'frndWave', true],
		['Raider', 'raidPog', true],
		['Twitch', 'Kappa,4Head', false],
	]);
	assert.deepEqual(groups.slice(4).map(([name]) => name), ['7TV', 'BetterTTV', 'FrankerFaceZ']);
	// The images come from the emote host and load.
	await chat.waitForFunction(() =>
		[...document.querySelectorAll('.ep-img')].every((img) => img.complete && img.naturalWidth > 0)
	);
	await shoot(chat, 'state-emotes');

	await chat.fill('#composer input', 'hello');
	await chat.click('.ep-emote[aria-label="strmHi"]');
	await chat.fill('.emote-picker .panel-search', 'WAVE');
	assert.deepEqual(await chat.$$eval('.ep-emote', (list) => list.map((b) => b.getAttribute('aria-label'))), ['frndWave']);
	await chat.click('.ep-emote[aria-label="frndWave"]');
	assert.equal(await chat.inputValue('#composer input'), 'hello strmHi frndWave ');

	await chat.keyboard.press('Escape');
	await chat.waitForSelector('.emote-picker', { state: 'hidden' });
	assert.equal(await chat.getAttribute('.composer-emotes', 'aria-expanded'), 'false');
});

test('the chatter list shows who is in chat by role and opens their card', async () => {
	await chat.setViewportSize({ width: 400, height: 700 });
	await chat.click('.composer-chatters');
	await chat.waitForSelector('.chatter-list .cl-role');
	assert.equal(await chat.locator('.cl-title').textContent(), 'Chatters · 6');
	const roles = await chat.$$eval('.cl-role', (list) =>
		list.map((r) => [r.dataset.role, [...r.querySelectorAll('.cl-name')].map((n) => n.textContent).join()])
	);
	assert.deepEqual(roles, [
		['broadcaster', 'Streamer'],
		['moderators', 'Helper,Nightbot'],
		['vips', 'Friend'],
		['viewers', 'Raider,Someone'],
	]);
	await shoot(chat, 'state-chatters');

	await chat.fill('.cl-search', 'so');
	assert.deepEqual(await chat.$$eval('.cl-name', (list) => list.map((n) => n.textContent)), ['Someone']);
	await chat.click('.cl-name');
	await chat.waitForFunction(() => document.querySelector('.user-card .uc-name')?.textContent === 'Someone');
	await chat.waitForSelector('.user-card .uc-facts');
	await shoot(chat, 'state-chatters-card', [240]);

	// Escape closes the card first, then the list.
	await chat.keyboard.press('Escape');
	await chat.waitForSelector('.user-card', { state: 'hidden' });
	assert.equal(await chat.isVisible('.chatter-list'), true);

	// A refused list says what to do.
	await fakes.command('twitch-api', 'configure', { fail: { 'GET /helix/chat/chatters': { status: 401 } } });
	await chat.click('.chatter-list .panel-refresh');
	await chat.waitForSelector('.chatter-list .panel-status[data-kind="error"]');
	assert.equal(
		await chat.locator('.chatter-list .panel-status').textContent(),
		'Permission to read chat users is required; reconnect the account'
	);
	await chat.keyboard.press('Escape');
	await chat.waitForSelector('.chatter-list', { state: 'hidden' });
});

test('third-party emotes are off by the switch', async () => {
	assert.deepEqual(await host.api('third-party-emotes', { on: false }), { ok: true });
	await fakes.command('twitch-chat', 'send', { lines: [emoteLine('emo-off')], templates: true });
	await chat.waitForSelector('#chat > .line[data-id="emo-off"]');
	const off = await readLine(chat, 'emo-off');
	assert.deepEqual(off.pieces, ['[Kappa]', ' cvHazmat KEKW catJAM RainTime OMEGALUL ffzHat EZ KEKW, ', '[Clap]']);
});
