// The Twitch account in the chat dock, against the developer host and the
// fakes: signing in, then a reply, commands, message actions and the user
// card as the streamer sees them (their requests are the Helix unit tests'
// business; the reply and the trimmed warning reason are checked here);
// EventSub end to end (held messages, a poll's card, follows and
// redemptions); last, the channel state of the signed-in dock: the pin, the
// viewer count, emotes, the emote picker and the chatter list.
process.env.TZ = 'UTC';

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { start, finish, linkState, openPage, readLines, screenshotPath, shoot, twitchLine, waitUntil, watch } from './harness.mjs';

const { describeUser, ageText } = await import('../../web/js/user-card.js');
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
let chat; // the chat dock, signed in by the second test
let signIn; // the user's own browser, where Twitch's sign-in happens
const problems = []; // requests that left the machine, script errors

// Twitch's own emote images come from the fake web service.
before(async () => {
	({ fakes, host, browser } = await start({ firstPort: 18950, images: ['/emoticons/v2/'], prepare: async (f) => {
		await f.command('twitch-api', 'configure', { pins: PINNED });
		await f.command('emotes', 'serve');
	} }));
	const context = await browser.newContext({ ignoreHTTPSErrors: true });
	signIn = watch(await context.newPage(), problems);
});

after(() => finish({ fakes, host, browser, problems }));

// The body of the one request the Helix fake received for method + path, waited for.
async function helixBody(method, pathname) {
	const [found] = await waitUntil(async () => {
		const list = await fakes.requests('twitch-api', (r, url) => r.method === method && url.pathname === pathname);
		return list.length && list;
	}, `${method} ${pathname} on the Helix fake`);
	return JSON.parse(found.body);
}

async function note(page, selector, kind) {
	await page.waitForFunction(
		([s, k]) => {
			const n = document.querySelector(s);
			return n && n.textContent !== '' && (n.dataset.kind || 'ok') === k;
		},
		[selector, kind]
	);
	return page.locator(selector).textContent();
}

function openedUrls() {
	return host.log.filter((l) => l.startsWith('open ') && l.includes('/oauth2/authorize')).map((l) => l.slice(5));
}

async function finishSignIn(url) {
	await signIn.goto('about:blank');
	await signIn.goto(url);
	await signIn.waitForFunction(() => document.querySelector('.oauth-box').dataset.state !== 'working');
}

test('the user card reads Twitch’s replies as the streamer needs them', () => {
	const now = Date.parse('2025-06-15T12:00:00Z');
	const user = {
		data: [{ id: '2002', login: 'someone', display_name: 'Someone', profile_image_url: 'https://127.0.0.1/p.png', created_at: '2019-11-02T09:15:40Z' }],
	};
	const card = (follow, sub, ban) => {
		const v = describeUser({ user, follow, sub, ban }, now);
		return { ...Object.fromEntries(v.facts), standing: v.standing, who: [v.id, v.name, v.login, v.image].join() };
	};
	const refused = { error: 'Unauthorized', status: 401, message: 'Missing scope' };
	const ban = (expires_at, reason = '') => ({ data: [{ expires_at, reason }] });
	// [follow, sub, ban replies] -> what the card says. A ban has no end; a
	// timeout has one, today or later; an ended one is gone.
	const cases = [
		[[{ data: [{ followed_at: '2024-03-01T18:20:00Z' }] }, { data: [{ tier: '2000', is_gift: true, gifter_name: 'Raider' }] }, { data: [] }], {
			who: '2002,Someone,someone,https://127.0.0.1/p.png', Created: 'Nov 2, 2019 · 5 years, 7 months',
			Follows: 'Since Mar 1, 2024 · 1 year, 3 months', Subscriber: 'Tier 2 · gift from Raider', Chat: 'Not banned', standing: 'ok',
		}],
		[[null, refused, null], { Follows: 'Unknown', Subscriber: 'Unknown', Chat: 'Unknown', standing: 'unknown' }],
		[[{ data: [] }, { data: [] }, null], { Follows: 'No', Subscriber: 'No' }],
		[[null, null, ban('', 'spam')], { Chat: 'Banned · spam', standing: 'banned' }],
		[[null, null, ban('2025-06-15T12:30:00Z')], { Chat: 'Timed out until 12:30', standing: 'timeout' }],
		[[null, null, ban('2025-06-16T09:00:00Z')], { Chat: 'Timed out until Jun 16, 2025, 09:00' }],
		[[null, null, ban('2025-06-15T11:00:00Z')], { Chat: 'Not banned' }],
	];
	for (const [replies, want] of cases) {
		const got = card(...replies);
		for (const [key, value] of Object.entries(want)) assert.equal(got[key], value, `${key} of ${JSON.stringify(replies)}`);
	}

	// Errors of the route, and a user Twitch does not know.
	assert.deepEqual(describeUser({ error: 'Missing user' }, now), { error: 'Missing user' });
	assert.deepEqual(describeUser({ user: { data: [] }, follow: null, sub: null, ban: null }, now), {
		error: 'Twitch does not know this user',
	});

	// Ages count calendar months.
	const day = (s) => Date.parse(s + 'T12:00:00Z');
	assert.equal(ageText(day('2025-01-31'), day('2025-02-28')), '28 days');
	assert.equal(ageText(day('2025-01-31'), day('2025-03-01')), '1 month');
});

test('signing in: the page Twitch returns to hands the token over and leaves no trace of it', async () => {
	chat = await openPage(browser, host, 'chat', '/', { problems, width: 400 });
	assert.equal(await chat.locator('.account-connect-go').isVisible(), true);
	assert.equal(await chat.locator('#automod').isHidden(), true, 'no AutoMod line without an account');
	await shoot(chat, 'account-none', [240]);
	const tokenPosts = [];
	signIn.on('request', (req) => req.method() === 'POST' && tokenPosts.push(req.url()));

	// Declined at Twitch: the error comes back in the query; nothing is posted.
	await finishSignIn(`http://localhost:${host.port}/oauth?error=access_denied&error_description=The+user+denied+you+access`);
	assert.equal(await signIn.locator('h1').textContent(), 'Twitch account not connected');
	assert.match(await signIn.locator('#detail').textContent(), /^Twitch did not sign you in: The user denied you access\./);
	assert.equal(signIn.url(), `http://localhost:${host.port}/oauth`);
	assert.deepEqual(tokenPosts, []);

	// An address any page could open, with a token but without the state of
	// a sign-in the plug-in started: refused before Twitch is asked.
	await finishSignIn(`http://localhost:${host.port}/oauth#access_token=tok-streamer&token_type=bearer`);
	assert.match(await signIn.locator('#detail').textContent(), /^Sign-in expired; connect again\. Start again/);
	assert.equal(signIn.url(), `http://localhost:${host.port}/oauth`);
	assert.deepEqual(tokenPosts, [`http://localhost:${host.port}/api/token?t=`]);

	// The real thing: the dock asks the plug-in to open Twitch's sign-in page,
	// Twitch (the fake) sends the browser back with the token.
	await chat.click('.account-connect-go');
	assert.match(await note(chat, '.account-note', 'ok'), /sign-in page is open in your browser/);
	// (The sign-in address itself: AccountRoutesTest.SignInAddressTokenAndStoredAccount.)
	const [authorize] = await waitUntil(() => openedUrls().length && openedUrls(), 'the sign-in address');
	await finishSignIn(authorize);
	assert.equal(await signIn.locator('h1').textContent(), 'Twitch account connected');
	assert.match(await signIn.locator('#detail').textContent(), /as streamer\./);
	assert.equal(signIn.url(), `http://localhost:${host.port}/oauth`, 'the token is gone from the address bar');
	await signIn.screenshot({ path: screenshotPath('oauth-connected.png') });

	// The dock shows the account and can send.
	await chat.waitForFunction(() => document.querySelector('.account-login')?.textContent === 'streamer');
	assert.equal(await chat.locator('.account-connect').isHidden(), true);
	assert.equal(await chat.locator('.account-reauth').isHidden(), true);
	assert.equal(await chat.locator('.account-note').isHidden(), true);
	await chat.waitForFunction(() => !document.querySelector('#composer input').disabled);
});

test('a reply, a chat command, message actions and the user card act through Helix', async () => {
	// The sign-in filled in the empty channel with the account's login.
	await linkState(chat, 'twitch');
	await fakes.command('twitch-api', 'requests', { clear: true });
	await fakes.command('twitch-chat', 'send', {
		templates: true,
		lines: [
			twitchLine({ id: 'm-1', user: 'Someone', userId: '2002', color: '#1E90FF', text: 'first time here!' }),
			twitchLine({ id: 'm-2', user: 'Raider', userId: '3003', text: 'this chat is boring' }),
		],
	});
	await chat.waitForFunction(() => document.querySelector('#chat > .line[data-id="m-2"]'));
	const input = chat.locator('#composer input');

	// Reply: a click on the line offers it, the send box takes it.
	await chat.click('#chat > .line[data-id="m-1"] .text');
	await chat.click('.line[data-id="m-1"] .line-actions .mod-reply');
	assert.equal(await chat.locator('.composer-reply-label').textContent(), 'Replying to @Someone');
	await input.fill('welcome in');
	await input.press('Enter');
	assert.deepEqual(await helixBody('POST', '/helix/chat/messages'), { broadcaster_id: '1001', sender_id: '1001', message: 'welcome in', reply_parent_message_id: 'm-1' });
	await chat.waitForFunction(() => document.querySelector('#composer input').value === '');
	assert.equal(await chat.locator('.composer-reply').isHidden(), true);

	// A chat command, and one that fails with Twitch's reason.
	await input.fill('/timeout someone 45');
	await input.press('Enter');
	assert.equal(await note(chat, '.composer-note', 'notice'), 'Done: /timeout someone 45');
	await input.fill('/raid @nobody');
	await input.press('Enter');
	assert.equal(await note(chat, '.composer-note', 'error'), 'User not found: @nobody');
	assert.equal(await input.inputValue(), '/raid @nobody');
	await input.fill('');

	// The actions of another line: one line at a time.
	await fakes.command('twitch-api', 'requests', { clear: true });
	await chat.click('#chat > .line[data-id="m-2"] .text');
	assert.equal(await chat.locator('.line-actions').count(), 1);
	assert.equal(await chat.locator('.composer-reply-label').textContent(), 'Replying to @Raider');
	const actions = chat.locator('.line[data-id="m-2"] .line-actions');
	await chat.screenshot({ path: screenshotPath('account-actions-400.png') });
	await actions.locator('.mod-delete').click();
	assert.equal(await note(chat, '.line[data-id="m-2"] .mod-note', 'ok'), 'Message deleted');
	assert.equal(await chat.locator('.composer-reply').isHidden(), true, 'no reply to a deleted message');

	await actions.locator('.mod-warn').click();
	await actions.locator('.mod-reason').fill('  keep it friendly ');
	await actions.locator('.mod-warn-go').click();
	assert.equal(await note(chat, '.line[data-id="m-2"] .mod-note', 'ok'), 'Warning sent');
	assert.deepEqual(await helixBody('POST', '/helix/moderation/warnings'), { data: { user_id: '3003', reason: 'keep it friendly' } });
	assert.equal(await actions.locator('.mod-warn-row').isHidden(), true);

	// Twitch's refusal is shown where the button was pressed.
	await actions.locator('.mod-unban').click();
	assert.match(await note(chat, '.line[data-id="m-2"] .mod-note', 'error'), /not banned/);

	await shoot(chat, 'account-actions', [240]);
	await chat.keyboard.press('Escape');
	assert.equal(await chat.locator('.line-actions').count(), 0);

	// The user card: who Someone is, and a one-hour timeout from it.
	await chat.click('#chat > .line[data-id="m-1"] .name');
	const card = chat.locator('.user-card');
	await chat.waitForFunction(() => document.querySelector('.user-card .uc-facts'));
	await chat.waitForFunction(() => document.querySelector('.uc-avatar')?.complete);
	const facts = async () =>
		Object.fromEntries(await card.locator('.uc-fact').evaluateAll((rows) => rows.map((r) => [r.firstChild.textContent, r.lastChild.textContent])));
	assert.equal(await card.locator('.uc-name').textContent(), 'Someone');
	assert.equal(await card.locator('.uc-avatar').evaluate((i) => i.naturalWidth > 0), true);
	const before = await facts();
	assert.match(before.Created, /^Nov 2, 2019 · \d+ years/);
	assert.match(before.Follows, /^Since Mar 1, 2024 · /);
	assert.equal(before.Subscriber, 'Tier 1');
	assert.match(before.Chat, /^(Timed out until \d\d:\d\d|Not banned)$/);
	await chat.screenshot({ path: screenshotPath('account-card-400.png') });

	await card.locator('.mod-length').selectOption('3600');
	await card.locator('.mod-timeout-go').click();
	assert.equal(await note(chat, '.user-card .mod-note', 'ok'), 'Timed out for 1 h');
	// (Someone may still be in the 45-second timeout: the end time changes.)
	await chat.waitForFunction(
		(was) => document.querySelector('.uc-facts').dataset.standing === 'timeout' &&
			document.querySelector('.uc-fact[data-fact="chat"] dd').textContent !== was,
		before.Chat
	);
	assert.match((await facts()).Chat, /^Timed out until (\w+ \d+, \d+, )?\d\d:\d\d$/);

	await card.locator('.mod-unban').click();
	await chat.waitForFunction(() => document.querySelector('.uc-facts').dataset.standing === 'ok');
	assert.equal((await facts()).Chat, 'Not banned');
	await shoot(chat, 'account-card', [240]);
	await card.locator('.uc-close').click();
	assert.equal(await card.isHidden(), true);

	// TikTok lines offer the same buttons; the plug-in answers that TikTok
	// has no moderation API (and asks Twitch nothing: HelixTest).
	host.send('message-in', { platform: 'tiktok', id: 'tt-1', userId: '7001', name: 'ttfan', text: 'hello from TikTok', time: Date.now() });
	await chat.waitForFunction(() => document.querySelector('#chat > .line[data-id="tt-1"]'));
	await chat.click('#chat > .line[data-id="tt-1"] .name');
	assert.equal(await card.isHidden(), true, 'no Twitch card for a TikTok name');
	const tiktok = chat.locator('.line[data-id="tt-1"] .line-actions');
	assert.equal(await tiktok.locator('.mod-reply').count(), 0);
	await tiktok.locator('.mod-ban').click();
	assert.equal(await note(chat, '.line[data-id="tt-1"] .mod-note', 'error'), 'TikTok moderation is available only in the app; no API exists');
	await chat.screenshot({ path: screenshotPath('account-chat-400.png') });
});

test('an account that lacks permissions is asked to authorise again', async () => {
	await fakes.command('twitch-api', 'configure', { tokens: { 'tok-limited': { user_id: '1001', scopes: ['chat:read'] } } });
	assert.deepEqual(await host.connectAccount('tok-limited'), { login: 'streamer' });
	await chat.waitForFunction(() => !document.querySelector('.account-reauth').hidden);
	assert.equal(await chat.locator('.account-login').textContent(), 'streamer');
	await chat.screenshot({ path: screenshotPath('account-reauth-400.png') });

	const opened = openedUrls().length;
	await chat.click('.account-reauth-go');
	await waitUntil(() => openedUrls().length > opened, 'a second sign-in address');
	await finishSignIn(openedUrls().at(-1));
	await chat.waitForFunction(() => document.querySelector('.account-reauth').hidden);
});

test('a build without its own Twitch application asks for the Client ID and names the redirect address', async () => {
	// The developer host carries the built-in client id; such a build is
	// told to the page by its configuration alone, here the only event of
	// its stream. The sign-in request still goes to the host.
	const context = await browser.newContext({ viewport: { width: 240, height: 700 } });
	const page = watch(await context.newPage(), problems);
	const config = { twitch: 'streamer', tiktok: '', builtInClient: false, clientId: '', account: null };
	await page.route('**/api/events?*', (route) =>
		route.fulfill({ contentType: 'text/event-stream', body: `event: config\ndata: ${JSON.stringify(config)}\n\n` })
	);
	let posted = null;
	await page.route('**/api/account?*', (route) => {
		posted = JSON.parse(route.request().postData());
		route.continue();
	});
	await page.goto(host.url('chat', '/'));
	await page.waitForFunction(() => !document.querySelector('.account-client').hidden);
	await page.fill('.account-client-id', ' my-own-app ');
	await page.click('.account-connect-go');
	const said = await note(page, '.account-note', 'ok');
	assert.deepEqual(posted, { clientId: 'my-own-app' });
	assert.ok(said.endsWith(`OAuth Redirect URL http://localhost:${host.port}/oauth`), said);
	await page.screenshot({ path: screenshotPath('account-connect-240.png') });
	await context.close();
});

const CHANNEL = { broadcaster_user_id: '1001', broadcaster_user_login: 'streamer', broadcaster_user_name: 'streamer' };

// Twitch writes its times with nanoseconds.
function stamp(fromNowMs = 0) {
	return new Date(Date.now() + fromNowMs).toISOString().replace(/Z$/, '000000Z');
}

function notify(type, event) {
	return fakes.command('twitch-eventsub', 'notify', { type, event: { ...CHANNEL, ...event } });
}

// Events reach a page in the order they were sent: once this one shows,
// everything notified before it has been handled.
let marks = 0;
async function settled(page) {
	const mark = `Mark${++marks}`;
	await notify('channel.follow', { user_id: String(9000 + marks), user_login: mark.toLowerCase(), user_name: mark, followed_at: stamp() });
	await page.waitForFunction((name) => [...document.querySelectorAll('.name')].some((n) => n.textContent === name), mark);
}

async function helixAutomod() {
	const sent = await fakes.requests('twitch-api', (r) => r.method === 'POST' && r.path === '/helix/moderation/automod/message');
	return sent.map((r) => JSON.parse(r.body));
}

// The open EventSub session once the host has made its subscriptions on it
// (a sign-in restarts the session when it fills in the channel, so the
// first one may already be gone).
async function subscribedSession() {
	return waitUntil(async () => {
		const { sessions } = await fakes.command('twitch-eventsub', 'sessions');
		const open = sessions.filter((s) => s.open && s.welcomed);
		if (open.length !== 1) return null;
		const made = await fakes.requests('twitch-api', (r) => r.method === 'POST' && r.path === '/helix/eventsub/subscriptions');
		const types = made.map((r) => JSON.parse(r.body)).filter((b) => b.transport.session_id === open[0].id).map((b) => b.type);
		return types.includes('channel.hype_train.end');
	}, 'the subscriptions of an open EventSub session');
}

const texts = (page, selector) => page.locator(selector).allTextContents();

test('held messages: allowed from the dock through Helix, decided elsewhere, refused by Twitch', async () => {
	assert.deepEqual(await host.connectAccount('tok-streamer'), { login: 'streamer' });
	// (Which subscriptions a session makes: EventSubTest.)
	await subscribedSession();
	await chat.waitForFunction(() => document.getElementById('automod').textContent === 'AutoMod connected');
	assert.equal(await chat.locator('#automod').isVisible(), true);

	// Twitch knows the first two; the third was already decided there. (What
	// EventSub's notifications of held messages become: EventSubDispatch.)
	await fakes.command('twitch-api', 'configure', { heldMessages: ['held-1', 'held-2'] });
	await fakes.command('twitch-api', 'requests', { clear: true });
	const held = (id, name, text, reason, category = '') =>
		host.send('held', { id, userId: '3003', name, text, reason, category, resolved: false, approved: false });
	held('held-1', 'Raider', 'you are all <b>terrible</b>', 'automod', 'swearing');
	held('held-2', 'Someone', 'buy cheap followers', 'blocked_term');
	held('held-3', 'Raider', 'borderline words', 'automod', 'aggressive');
	await chat.waitForFunction(() => document.querySelectorAll('.held-item').length === 3);

	const item = (id) => `.held-item[data-id="${id}"]`;
	assert.deepEqual(await texts(chat, '.held-item .held-label'), ['Held · AutoMod', 'Held · Blocked term', 'Held · AutoMod']);
	assert.deepEqual(await texts(chat, '.held-item .held-category'), ['swearing', 'aggressive']);
	assert.equal(await chat.locator(`${item('held-1')} .name`).textContent(), 'Raider');
	assert.equal(await chat.locator(`${item('held-1')} .text`).textContent(), 'you are all <b>terrible</b>');
	await shoot(chat, 'eventsub-held');

	// Allowed here: the decision goes to Twitch for the account.
	await chat.click(`${item('held-1')} .held-allow`);
	await chat.waitForFunction((s) => document.querySelector(s)?.textContent === 'Allowed', `${item('held-1')} .held-outcome`);
	assert.deepEqual(await helixAutomod(), [{ user_id: '1001', msg_id: 'held-1', action: 'ALLOW' }]);

	// Refused by Twitch: its reason on the card, the buttons back.
	await chat.click(`${item('held-3')} .held-deny`);
	await chat.waitForFunction((s) => document.querySelector(s)?.textContent !== '', `${item('held-3')} .held-note`);
	assert.equal(await chat.locator(`${item('held-3')} .held-note`).textContent(), 'The message specified in the msg_id field was not found.');
	assert.equal(await chat.locator(`${item('held-3')} .held-note`).getAttribute('data-kind'), 'error');
	assert.equal(await chat.locator(`${item('held-3')} .held-allow`).isDisabled(), false);

	// Twitch's updates: the echo of our own decision changes nothing; the
	// ones decided elsewhere resolve their items without a call of ours.
	await fakes.command('twitch-api', 'requests', { clear: true });
	// (Twitch's "Approved" is read end to end here.)
	host.send('held', { id: 'held-1', resolved: true, approved: true });
	host.send('held', { id: 'held-2', resolved: true, approved: false });
	await notify('automod.message.update', { message_id: 'held-3', user_id: '3003', user_login: 'raider', user_name: 'Raider',
		moderator_user_id: '5005', moderator_user_login: 'helper', moderator_user_name: 'Helper', status: 'Approved', held_at: stamp() });
	await chat.waitForFunction(() => document.querySelectorAll('.held-item.resolved').length === 3);
	assert.deepEqual(await texts(chat, '.held-item .held-outcome'), ['Allowed', 'Denied', 'Allowed']);
	assert.equal(await chat.locator('.held-item button').count(), 0, 'no buttons on decided items');
	await shoot(chat, 'eventsub-held-resolved', [400]);
	assert.deepEqual(await helixAutomod(), []);
	// Decided items leave the queue after a while.
	await chat.waitForFunction(() => document.getElementById('held').hidden, null, { timeout: 10000 });
});

test('a poll as a live card, also on pages opened while it runs; a closed card stays closed', async () => {
	// (Only what the card reads: the Twitch payload is EventSubDispatch's.)
	const pollEvent = (votes, more = {}) => ({
		id: 'poll-1',
		title: 'Which game next?',
		choices: ['Horror', 'Racing', 'Puzzle'].map((title, i) => ({ id: `c${i + 1}`, title, ...(votes ? { votes: votes[i] } : {}) })),
		...more,
	});
	const endsAt = stamp(120000);
	await notify('channel.poll.begin', pollEvent(null, { ends_at: endsAt }));
	await chat.waitForFunction(() => document.querySelector('.hl-poll'));
	assert.equal(await chat.locator('.hl-poll .hl-title').textContent(), 'Which game next?');
	assert.deepEqual(await texts(chat, '.hl-poll .hl-label'), ['Horror', 'Racing', 'Puzzle']);

	await notify('channel.poll.progress', pollEvent([7, 2, 1], { ends_at: endsAt }));
	await chat.waitForFunction(() => document.querySelector('.hl-poll .hl-value')?.textContent === '7 votes · 70%');
	assert.deepEqual(await texts(chat, '.hl-poll .hl-value'), ['7 votes · 70%', '2 votes · 20%', '1 vote · 10%']);
	// The time left, counted by the page from its own clock: at most the two
	// minutes, and down between events.
	const left = await chat.locator('.hl-poll .hl-status').textContent();
	assert.match(left, /^Poll · 10 votes · (1:[0-5]\d|2:00|\d+ s) left$/);
	assert.equal(await chat.locator('.hl-poll').count(), 1, 'one card per poll');
	await chat.waitForFunction((was) => document.querySelector('.hl-poll .hl-status').textContent !== was, left, { timeout: 10000 });
	await shoot(chat, 'eventsub-poll');

	// A page opened mid-poll sees it at once, with the latest numbers.
	const later = await openPage(browser, host, 'chat', '/', { width: 240, problems });
	await later.waitForFunction(() => document.querySelector('.hl-poll .hl-value')?.textContent === '7 votes · 70%');
	assert.equal(await later.locator('#automod').textContent(), 'AutoMod connected');

	// A page whose stream dropped while the poll ran: its first stream (stood
	// in for here) showed the poll and ends; the next one is held until the
	// poll is over.
	const away = watch(await (await browser.newContext({ viewport: { width: 240, height: 700 } })).newPage(), problems);
	let release;
	const back = new Promise((resolve) => (release = resolve));
	let streams = 0;
	await away.route('**/api/events?*', async (route) => {
		if (++streams > 1) return back.then(() => route.continue());
		const running = { type: 'channel.poll.progress', event: pollEvent([7, 2, 1], { ends_at: endsAt }) };
		return route.fulfill({ contentType: 'text/event-stream', body: `event: highlight\ndata: ${JSON.stringify(running)}\n\n` });
	});
	await away.goto(host.url('chat', '/'));
	await away.waitForFunction(() => document.querySelector('.hl-poll'));

	// The end: the result on the open docks, nothing on a page opened after.
	await notify('channel.poll.end', pollEvent([8, 2, 1], { status: 'completed', ended_at: stamp() }));
	for (const page of [chat, later]) {
		await page.waitForFunction(() => document.querySelector('.hl-poll')?.classList.contains('ended'));
		assert.equal(await page.locator('.hl-poll .hl-status').textContent(), 'Poll ended');
		assert.deepEqual(await texts(page, '.hl-poll .hl-row.winner .hl-label'), ['Horror']);
		assert.deepEqual(await texts(page, '.hl-poll .hl-value'), ['8 votes · 73%', '2 votes · 18%', '1 vote · 9%']);
	}
	await shoot(later, 'eventsub-poll-ended', [240]);
	await later.context().close();
	// Back, the page that missed the end no longer shows the poll running.
	release();
	await away.waitForFunction(() => !document.querySelector('.hl-poll'));
	assert.equal(await away.locator('#automod').textContent(), 'AutoMod connected');
	await away.context().close();
	const after = await openPage(browser, host, 'chat', '/', { width: 240, problems });
	await settled(after);
	assert.equal(await after.locator('.hl-card').count(), 0);
	await after.context().close();

	// (What prediction and hype-train cards say: pages-logic.) A card closed
	// by the reader (while its countdown ticks) stays closed through the next
	// rounds of the same train.
	const train = (level) => ({ id: 'ht-1', level, total: 800, progress: 100, goal: 1800, started_at: stamp(-60000), expires_at: stamp(300000) });
	await notify('channel.hype_train.begin', train(1));
	await chat.waitForFunction(() => document.querySelector('.hl-hype_train .hl-title')?.textContent === 'Hype Train · Level 1');
	await shoot(chat, 'eventsub-hype-train');
	await chat.click('.hl-hype_train .hl-close');
	await notify('channel.hype_train.progress', train(2));
	await settled(chat);
	assert.equal(await chat.locator('.hl-hype_train').count(), 0);
});

test('follows and channel-point redemptions in the activity dock', async () => {
	const feed = await openPage(browser, host, 'activity', '/feed.html', { width: 400, problems });
	const followedAt = stamp(-3000);
	await notify('channel.follow', { user_id: '2002', user_login: 'someone', user_name: 'Someone', followed_at: followedAt });
	await notify('channel.channel_points_custom_reward_redemption.add', {
		id: 'rd-1',
		user_id: '3003',
		user_login: 'raider',
		user_name: 'Raider',
		user_input: 'play <b>Horror</b> next',
		reward: { id: 'rw-1', title: 'Pick the game', cost: 2500, prompt: 'Say which game' },
		redeemed_at: stamp(),
	});
	// Newest first, after what the recent history brought.
	await feed.waitForFunction(() => document.querySelector('#feed > .item .item-title')?.textContent === 'Raider redeemed Pick the game');
	assert.deepEqual((await texts(feed, '#feed > .item .item-title')).slice(0, 2), ['Raider redeemed Pick the game', 'Someone followed']);
	const redeem = feed.locator('#feed > .item.tone-redeem').first();
	assert.equal(await redeem.locator('.item-detail').textContent(), '2,500 points');
	assert.equal(await redeem.locator('.item-text').textContent(), 'play <b>Horror</b> next');
	const follow = feed.locator('#feed > .item.tone-follow').first();
	assert.equal(await follow.locator('.item-detail').isHidden(), true);
	assert.equal(await follow.locator('time').getAttribute('datetime'), new Date(Date.parse(followedAt)).toISOString());
	await shoot(feed, 'eventsub-activity');
	await feed.context().close();
});

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

test('the pinned message and the live viewer count', async () => {
	// The reader closes the ended cards of the EventSub tests above.
	while (await chat.locator('.hl-close').count()) await chat.locator('.hl-close').first().click();
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

test('third-party emotes in a line', async () => {
	await chat.setViewportSize({ width: 320, height: 400 });

	// The sets load once the reader joined; lines before that stay words.
	let n = 0;
	const shown = await waitUntil(async () => {
		const id = `emo-${++n}`;
		await fakes.command('twitch-chat', 'send', { lines: [emoteLine(id)], templates: true });
		await chat.waitForSelector(`#chat > .line[data-id="${id}"]`);
		await chat.waitForFunction((i) => Array.from(document.querySelectorAll(`#chat > .line[data-id="${i}"] img`)).every((m) => m.complete), id);
		const [read] = await readLines(chat, [id]);
		return read.images.length === 9 && read;
	}, 'a line with the third-party emotes');
	assert.deepEqual(shown.pieces, ['[Kappa+cvHazmat]', ' ', '[KEKW]', ' ', '[catJAM+RainTime]', ' ', '[OMEGALUL+ffzHat]', ' ', '[EZ]', ' KEKW, ', '[Clap]']);
	// Twitch's own Kappa and Clap (the providers' addresses: ThirdPartyEmotes.ProviderAnswers).
	assert.deepEqual([shown.images[0][0], shown.images[8][0]], ['/emoticons/v2/25/default/dark/2.0', '/emoticons/v2/1902/default/dark/2.0']);
	assert.ok(shown.images.every(([, loaded]) => loaded), JSON.stringify(shown.images));
	assert.deepEqual(shown.stacks, [true, true, true]);
	await shoot(chat, 'emotes', [320, 240]);
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
	const [off] = await readLines(chat, ['emo-off']);
	assert.deepEqual(off.pieces, ['[Kappa]', ' cvHazmat KEKW catJAM RainTime OMEGALUL ffzHat EZ KEKW, ', '[Clap]']);
});
