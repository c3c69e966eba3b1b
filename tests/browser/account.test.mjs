// The Twitch account in the chat dock, against the developer host and the
// fakes: signing in through the identity fake and the page Twitch returns
// to, then a reply, a chat command, the actions of a message and the user
// card as the streamer sees them (the requests they make are the Helix unit
// tests' business; the reply and the trimmed warning reason are checked here).
//   node --experimental-default-type=module --test tests/browser/account.test.mjs
// Screenshots go to $VANTEO_TEST_ARTIFACTS (tests/artifacts/).
process.env.TZ = 'UTC';

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { start, finish, linkState, openPage, screenshotPath, shoot, twitchLine, waitUntil, watch } from './harness.mjs';

const { describeUser, ageText } = await import('../../web/js/user-card.js');

let fakes, host, browser;
let chat; // the chat dock, signed in by the second test
let signIn; // the user's own browser, where Twitch's sign-in happens
const problems = []; // requests that left the machine, script errors

before(async () => {
	({ fakes, host, browser } = await start({ firstPort: 18950 }));
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
		[[null, { data: [{ tier: '3000' }] }, null], { Subscriber: 'Tier 3' }],
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
	assert.equal(ageText(day('2024-06-15'), day('2025-06-15')), '1 year');
	assert.equal(ageText(now - 3600000, now), 'less than a day');
});

test('signing in: the page Twitch returns to hands the token over and leaves no trace of it', async () => {
	chat = await openPage(browser, host, 'chat', '/', { problems, width: 400 });
	assert.equal(await chat.locator('.account-connect-go').isVisible(), true);
	assert.equal(await chat.locator('#composer input').isDisabled(), true);
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
	const [authorize] = await waitUntil(() => openedUrls().length && openedUrls(), 'the sign-in address');
	const asked = new URL(authorize);
	assert.equal(asked.searchParams.get('redirect_uri'), `http://localhost:${host.port}/oauth`);
	assert.equal(asked.searchParams.get('response_type'), 'token');
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
	await fakes.command('twitch-api', 'requests', { clear: true });
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
	// has no moderation API, and nothing reaches Twitch.
	await fakes.command('twitch-api', 'requests', { clear: true });
	host.send('message-in', { platform: 'tiktok', id: 'tt-1', userId: '7001', name: 'ttfan', text: 'hello from TikTok', time: Date.now() });
	await chat.waitForFunction(() => document.querySelector('#chat > .line[data-id="tt-1"]'));
	await chat.click('#chat > .line[data-id="tt-1"] .name');
	assert.equal(await card.isHidden(), true, 'no Twitch card for a TikTok name');
	const tiktok = chat.locator('.line[data-id="tt-1"] .line-actions');
	assert.equal(await tiktok.locator('.mod-reply').count(), 0);
	await tiktok.locator('.mod-ban').click();
	assert.equal(await note(chat, '.line[data-id="tt-1"] .mod-note', 'error'), 'TikTok moderation is available only in the app; no API exists');
	assert.deepEqual(await fakes.requests('twitch-api', (r, url) => url.pathname.startsWith('/helix/moderation/')), []);
	await chat.screenshot({ path: screenshotPath('account-chat-400.png') });
});

test('an account that lacks permissions is asked to authorise again', async () => {
	const { tokens } = await fakes.command('twitch-api', 'state');
	const limited = { ...tokens['tok-streamer'], scopes: tokens['tok-streamer'].scopes.filter((s) => s !== 'channel:read:hype_train') };
	await fakes.command('twitch-api', 'configure', { tokens: { 'tok-limited': limited } });
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
