// Twitch EventSub end to end: the developer host, signed in with the
// streamer's token, keeps its EventSub session with the fake, and what the
// fake notifies reaches the docks: messages AutoMod holds, decided from the
// chat dock through Helix or elsewhere; polls, predictions and hype trains
// as live cards, also on pages opened while they run; follows and
// redemptions in the activity dock.
//   node --experimental-default-type=module --test tests/browser/eventsub.test.mjs
// Screenshots go to $VANTEO_TEST_ARTIFACTS (tests/artifacts/).
process.env.TZ = 'UTC';

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { start, finish, openPage, shoot, waitUntil, watch } from './harness.mjs';

let fakes, host, browser;
let chat; // the chat dock, open before the account is connected
const problems = []; // requests that left the machine, script errors

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
		const { subscriptions } = await fakes.command('twitch-api', 'state');
		const types = subscriptions.filter((s) => s.transport.session_id === open[0].id).map((s) => s.type);
		return types.includes('channel.hype_train.end') && { id: open[0].id, types };
	}, 'the subscriptions of an open EventSub session');
}

const texts = (page, selector) => page.locator(selector).allTextContents();

// A card's status, with the time it says is left ("1:35 left", "30 s left")
// checked to lie in (0, most] seconds: the page counts from its own clock.
async function status(page, card, prefix, most) {
	const text = await page.locator(`${card} .hl-status`).textContent();
	assert.ok(text.startsWith(prefix), text);
	const m = /(?:(\d+):(\d\d)|(\d+) s) left$/.exec(text);
	const seconds = m && (m[3] ? Number(m[3]) : Number(m[1]) * 60 + Number(m[2]));
	assert.ok(seconds > 0 && seconds <= most, text);
}

before(async () => {
	({ fakes, host, browser } = await start({ firstPort: 19030 }));
	chat = await openPage(browser, host, 'chat', '/', { width: 400, problems });
});

after(() => finish({ fakes, host, browser, problems }));

test('held messages: allowed from the dock through Helix, decided elsewhere, refused by Twitch', async () => {
	assert.equal(await chat.locator('#automod').isHidden(), true, 'no AutoMod line without an account');
	assert.deepEqual(await host.connectAccount('tok-streamer'), { login: 'streamer' });
	const session = await subscribedSession();
	assert.equal(session.types.length, 14);
	await chat.waitForFunction(() => document.getElementById('automod').textContent === 'AutoMod connected');
	assert.equal(await chat.locator('#automod').getAttribute('data-kind'), 'ok');
	assert.equal(await chat.locator('#automod').isVisible(), true);

	// Twitch knows the first two; the third was already decided there.
	await fakes.command('twitch-api', 'configure', { heldMessages: ['held-1', 'held-2'] });
	await fakes.command('twitch-api', 'requests', { clear: true });
	const hold = (id, user, text, more) =>
		notify('automod.message.hold', {
			message_id: id,
			user_id: user.id,
			user_login: user.name.toLowerCase(),
			user_name: user.name,
			message: { text, fragments: [{ type: 'text', text }] },
			held_at: stamp(),
			...more,
		});
	const raider = { id: '3003', name: 'Raider' };
	const someone = { id: '2002', name: 'Someone' };
	await hold('held-1', raider, 'you are all <b>terrible</b>', {
		reason: 'automod',
		automod: { category: 'swearing', level: 4, boundaries: [{ start_pos: 12, end_pos: 19 }] },
		blocked_term: null,
	});
	await hold('held-2', someone, 'buy cheap followers', {
		reason: 'blocked_term',
		automod: null,
		blocked_term: { terms_found: [{ term_id: 't1', boundary: { start_pos: 10, end_pos: 18 }, owner_broadcaster_user_id: '1001' }] },
	});
	await hold('held-3', raider, 'borderline words', { reason: 'automod', automod: { category: 'aggressive', level: 2, boundaries: [] } });
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
	const update = (id, status) =>
		notify('automod.message.update', { message_id: id, user_id: '3003', user_login: 'raider', user_name: 'Raider', moderator_user_id: '5005', moderator_user_login: 'helper', moderator_user_name: 'Helper', status, held_at: stamp() });
	await update('held-1', 'Approved');
	await update('held-2', 'Denied');
	await update('held-3', 'Approved');
	await chat.waitForFunction(() => document.querySelectorAll('.held-item.resolved').length === 3);
	assert.deepEqual(await texts(chat, '.held-item .held-outcome'), ['Allowed', 'Denied', 'Allowed']);
	assert.deepEqual(
		await chat.locator('.held-item').evaluateAll((items) => items.map((i) => [i.dataset.id, i.classList.contains('allowed') ? 'allowed' : 'denied'])),
		[['held-1', 'allowed'], ['held-2', 'denied'], ['held-3', 'allowed']]
	);
	assert.equal(await chat.locator('.held-item button').count(), 0, 'no buttons on decided items');
	await shoot(chat, 'eventsub-held-resolved', [400]);
	assert.deepEqual(await helixAutomod(), []);
	// Decided items leave the queue after a while.
	await chat.waitForFunction(() => document.getElementById('held').hidden, null, { timeout: 10000 });
});

test('a poll, a prediction and a hype train as live cards, also on pages opened while they run', async () => {
	const pollEvent = (votes, more = {}) => ({
		id: 'poll-1',
		title: 'Which game next?',
		choices: ['Horror', 'Racing', 'Puzzle'].map((title, i) => ({
			id: `c${i + 1}`,
			title,
			...(votes ? { bits_votes: 0, channel_points_votes: votes[i] - 1 > 0 ? votes[i] - 1 : 0, votes: votes[i] } : {}),
		})),
		bits_voting: { is_enabled: false, amount_per_vote: 0 },
		channel_points_voting: { is_enabled: true, amount_per_vote: 100 },
		started_at: stamp(-5000),
		...more,
	});
	const endsAt = stamp(120000);
	await notify('channel.poll.begin', pollEvent(null, { ends_at: endsAt }));
	await chat.waitForFunction(() => document.querySelector('.hl-poll'));
	assert.equal(await chat.locator('.hl-poll .hl-title').textContent(), 'Which game next?');
	assert.deepEqual(await texts(chat, '.hl-poll .hl-label'), ['Horror', 'Racing', 'Puzzle']);
	assert.deepEqual(await texts(chat, '.hl-poll .hl-value'), ['0 votes · 0%', '0 votes · 0%', '0 votes · 0%']);
	await status(chat, '.hl-poll', 'Poll · 0 votes · ', 120);

	await notify('channel.poll.progress', pollEvent([7, 2, 1], { ends_at: endsAt }));
	await chat.waitForFunction(() => document.querySelector('.hl-poll .hl-value')?.textContent === '7 votes · 70%');
	assert.deepEqual(await texts(chat, '.hl-poll .hl-value'), ['7 votes · 70%', '2 votes · 20%', '1 vote · 10%']);
	await status(chat, '.hl-poll', 'Poll · 10 votes · ', 120);
	assert.equal(await chat.locator('.hl-poll').count(), 1, 'one card per poll');
	// The time left counts down between events.
	const left = await chat.locator('.hl-poll .hl-status').textContent();
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

	// A prediction: outcomes with points and people, locked, then won.
	const outcomes = (yes, no) => [
		{ id: 'o1', title: 'Yes', color: 'blue', ...(yes ? { users: yes[0], channel_points: yes[1], top_predictors: [] } : {}) },
		{ id: 'o2', title: 'No', color: 'pink', ...(no ? { users: no[0], channel_points: no[1], top_predictors: [] } : {}) },
	];
	const prediction = { id: 'pred-1', title: 'Boss down first try?', started_at: stamp(-2000) };
	await notify('channel.prediction.begin', { ...prediction, outcomes: outcomes(), locks_at: stamp(90000) });
	await chat.waitForFunction(() => document.querySelector('.hl-prediction'));
	await status(chat, '.hl-prediction', 'Prediction · ', 90);
	await notify('channel.prediction.progress', { ...prediction, outcomes: outcomes([3, 1200], [1, 18000]), locks_at: stamp(90000) });
	await chat.waitForFunction(() => document.querySelector('.hl-prediction .hl-value')?.textContent.startsWith('1,200 points'));
	assert.deepEqual(await texts(chat, '.hl-prediction .hl-value'), ['1,200 points · 3 people · 6%', '18K points · 1 person · 94%']);
	await notify('channel.prediction.lock', { ...prediction, outcomes: outcomes([3, 1200], [2, 18500]), locked_at: stamp() });
	await chat.waitForFunction(() => document.querySelector('.hl-prediction .hl-status')?.textContent === 'Predictions closed');
	await shoot(chat, 'eventsub-prediction');
	await notify('channel.prediction.end', { ...prediction, outcomes: outcomes([3, 1200], [2, 18500]), winning_outcome_id: 'o2', status: 'resolved', ended_at: stamp() });
	await chat.waitForFunction(() => document.querySelector('.hl-prediction')?.classList.contains('ended'));
	assert.equal(await chat.locator('.hl-prediction .hl-status').textContent(), 'Prediction ended');
	assert.deepEqual(await texts(chat, '.hl-prediction .hl-row.winner .hl-label'), ['No']);

	// A hype train: level and progress to the next one, then its end.
	const train = (level, progress, goal, more) => ({
		id: 'ht-1',
		type: 'regular',
		level,
		total: 700 + progress,
		progress,
		goal,
		top_contributions: [
			{ user_id: '3003', user_login: 'raider', user_name: 'Raider', type: 'bits', total: 500 },
			{ user_id: '2002', user_login: 'someone', user_name: 'Someone', type: 'subscription', total: 500 },
		],
		shared_train_participants: null,
		is_shared_train: false,
		started_at: stamp(-60000),
		...more,
	});
	await notify('channel.hype_train.begin', train(1, 500, 1800, { expires_at: stamp(300000), all_time_high_level: 4, all_time_high_total: 9000 }));
	await chat.waitForFunction(() => document.querySelector('.hl-hype_train'));
	await notify('channel.hype_train.progress', train(2, 300, 2000, { expires_at: stamp(300000), all_time_high_level: 4, all_time_high_total: 9000 }));
	await chat.waitForFunction(() => document.querySelector('.hl-hype_train .hl-title')?.textContent === 'Hype Train · Level 2');
	assert.deepEqual(await texts(chat, '.hl-hype_train .hl-label'), ['Level 3']);
	assert.deepEqual(await texts(chat, '.hl-hype_train .hl-value'), ['15%']);
	await status(chat, '.hl-hype_train', 'Hype Train · ', 300);
	assert.equal(await chat.locator('.hl-hype_train .hl-detail').textContent(), 'Top: Raider, Someone');
	await shoot(chat, 'eventsub-hype-train');
	await notify('channel.hype_train.end', train(3, 0, 0, { ended_at: stamp(), cooldown_ends_at: stamp(3600000) }));
	await chat.waitForFunction(() => document.querySelector('.hl-hype_train .hl-status')?.textContent === 'Hype Train ended at level 3');
	assert.equal(await chat.locator('.hl-hype_train .hl-row').count(), 0);

	// A card closed by the reader (while its countdown ticks) stays closed
	// through the next rounds of the same train.
	await notify('channel.hype_train.begin', train(1, 100, 1800, { id: 'ht-2', expires_at: stamp(300000) }));
	await chat.waitForFunction(() => document.querySelector('.hl-hype_train .hl-title')?.textContent === 'Hype Train · Level 1');
	await chat.click('.hl-hype_train .hl-close');
	await notify('channel.hype_train.progress', train(2, 100, 2000, { id: 'ht-2', expires_at: stamp(300000) }));
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
		status: 'unfulfilled',
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

	// The chat dock lists them too, the viewer's words under the redemption.
	await chat.waitForFunction(() => document.querySelector('#chat > .line.tone-redeem .event-text'));
	assert.equal(await chat.locator('#chat > .line.tone-redeem .event-text').last().textContent(), 'play <b>Horror</b> next');
	await feed.context().close();
});
