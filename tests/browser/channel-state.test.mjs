// The Twitch channel state in the chat dock, against the developer host and
// the fakes: the emote picker and what it puts in the send box, the chatter
// list and the user card it opens, the pinned message and the live viewer
// count, each fed by the Helix fake.
//   node --experimental-default-type=module --test tests/browser/channel-state.test.mjs
// Screenshots go to $VANTEO_TEST_ARTIFACTS (tests/artifacts/).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { start, finish, openPage, shoot } from './harness.mjs';

const { emoteGroups, filterEmotes, insertEmote } = await import('../../web/js/emote-picker.js');
const { chatterSections, filterChatters, chatterTarget } = await import('../../web/js/chatters.js');

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
	({ fakes, host, browser } = await start({
		firstPort: 18990, config: { twitch: 'streamer', token: 'tok-streamer', setupDone: true },
		prepare: (f) => f.command('twitch-api', 'configure', { pins: PINNED }),
	}));
	chat = await openPage(browser, host, 'chat', '/', { width: 400, height: 700, problems });
	await chat.waitForFunction(() => !document.querySelector('.composer-emotes').disabled);
});

after(() => finish({ fakes, host, browser, problems }));

test('the pages read the emote and chatter replies defensively', () => {
	const view = emoteGroups(
		{
			emotes: [
				{ name: 'a', url: 'https://x/a', group: 'channel' },
				{ name: 'b', url: 'https://x/b', group: 'Friend' },
				{ name: 'c', url: '', group: 'Friend' },
				{ name: 'd', url: 'https://x/d', group: 'unlisted' },
				{ name: 'e', url: 'https://x/e', group: 'globali' },
				null,
			],
			groups: [{ name: 'channel', avatar: '' }, { name: 'Friend', avatar: 'https://x/f' }, { name: 'globali', avatar: '' }, { name: 'Empty' }],
		},
		'streamer'
	);
	assert.deepEqual(
		view.groups.map((g) => [g.label, g.emotes.map((e) => e.name).join()]),
		[['streamer', 'a'], ['Friend', 'b'], ['Twitch', 'e'], ['unlisted', 'd']]
	);
	assert.deepEqual(filterEmotes(view.groups, ' B ').map((g) => g.label), ['Friend']);
	assert.deepEqual(emoteGroups({ error: 'Emotes unavailable' }), { error: 'Emotes unavailable' });
	assert.deepEqual(emoteGroups({ groups: [] }), { error: 'Unexpected reply' });

	// Spaces set the name apart, a selection is replaced, Twitch's limit holds.
	assert.deepEqual(insertEmote('hello', 5, 5, 'Kappa'), { value: 'hello Kappa ', caret: 12 });
	assert.deepEqual(insertEmote('a b', 1, 1, 'K'), { value: 'a K b', caret: 4 });
	assert.deepEqual(insertEmote('say xyz now', 4, 7, 'K'), { value: 'say K now', caret: 6 });
	assert.deepEqual(insertEmote('', 0, 0, 'K'), { value: 'K ', caret: 2 });
	assert.equal(insertEmote('x'.repeat(495), 495, 495, 'Kappa'), null);

	const chatters = chatterSections({
		broadcaster: null,
		moderators: ['Helper'],
		vips: [],
		bots: ['Nightbot'],
		viewers: ['Someone', 7, ''],
		total: 3,
	});
	assert.deepEqual(chatters.sections.map((s) => [s.key, s.names.join()]), [
		['moderators', 'Helper'],
		['bots', 'Nightbot'],
		['viewers', 'Someone'],
	]);
	assert.equal(chatters.total, 3);
	assert.deepEqual(filterChatters(chatters.sections, 'ONE').map((s) => s.key), ['viewers']);
	assert.deepEqual(chatterSections({ error: 'Permission to read chat users is required; reconnect the account' }), {
		error: 'Permission to read chat users is required; reconnect the account',
	});
	assert.deepEqual(chatterTarget('Someone'), { login: 'someone', name: 'Someone' });
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

test('the emote picker lists the account’s emotes by channel and types them into the send box', async () => {
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
	assert.deepEqual(groups, [
		['streamer', 'strmHi,strmLove', false],
		['Friend', 'frndWave', true],
		['Raider', 'raidPog', true],
		['Twitch', 'Kappa,4Head', false],
	]);
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

	// Sent as typed.
	await fakes.command('twitch-api', 'requests', { clear: true });
	await chat.click('#composer button[type="submit"]');
	await chat.waitForFunction(() => document.querySelector('#composer input').value === '');
	const [sent] = await fakes.requests('twitch-api', (r) => r.method === 'POST' && r.path === '/helix/chat/messages');
	assert.equal(JSON.parse(sent.body).message, 'hello strmHi frndWave');

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
