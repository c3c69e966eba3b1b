// Logic shared by the dock pages, run under Node without a browser (the
// page modules are plain .js ES modules, hence the flag in CMakeLists.txt).
import { test } from 'node:test';
import assert from 'node:assert/strict';

const f = await import('../../web/js/format.js');
const d = await import('../../web/js/describe.js');

const CDN = 'https://cdn.example/emoticons/v2/25/default/dark/2.0';

// (Positions in code points, an emoji before an emote: the pages browser test.)
test('unusable emote spans leave the text intact', () => {
	const text = 'hello world';
	const cases = [
		[{ start: 6, end: 11, url: CDN }], // one past the end
		[{ start: 4, end: 2, url: CDN }],
		[{ start: '0', end: '4', url: CDN }],
		[{ start: 0, end: 4, url: 'javascript:alert(1)' }],
		[null],
	];
	for (const emotes of cases) {
		assert.deepEqual(f.splitByEmotes(text, emotes), [{ text }], JSON.stringify(emotes));
	}
	// Overlapping spans: the first one wins, the text is not repeated.
	const parts = f.splitByEmotes('abcdef', [
		{ start: 0, end: 3, url: CDN },
		{ start: 2, end: 5, url: CDN },
	]);
	assert.deepEqual(parts, [{ emote: CDN, code: 'abcd' }, { text: 'ef' }]);
});

test('only web images and the server badge paths are accepted', () => {
	for (const url of ['http://img.example/x.png', '/badge/moderator.png']) assert.equal(f.safeImageUrl(url), url);
	const refused = ['data:image/png;base64,AAAA', '//evil.example/x.png', '/api/demo', '/badge/../api/events',
		'https://user:pw@host.example/x.png', null];
	for (const url of refused) assert.equal(f.safeImageUrl(url), null, String(url));
});

test('name colours are made readable on the dark background', () => {
	const bg = [0x1e, 0x1e, 0x24];
	const rgb = (hex) => [1, 3, 5].map((i) => parseInt(hex.slice(i, i + 2), 16));
	for (const dark of ['#008000', '#000000']) {
		const out = f.readableColor(dark);
		assert.match(out, /^#[0-9a-f]{6}$/);
		assert.ok(f.contrastRatio(rgb(out), bg) >= 4.5, `${dark} -> ${out}`);
	}
	for (const bad of ['#fff', 'url(x)', null]) assert.equal(f.readableColor(bad), null);
});

// Beyond the demo items the browser suite shows: tiers, singulars and odd
// counts.
test('activity items are described in words', () => {
	const twitch = (x) => ({ platform: 'twitch', eventId: '', bits: 0, ...x });
	const cases = [
		[twitch({ eventId: 'resub', eventPlan: '2000', eventMonths: '1' }), 'sub', 'resubscribed for 1 month', 'Tier 2'],
		// A count that is not a number is not turned into "NaN subs".
		[twitch({ eventId: 'submysterygift', eventCount: 'many' }), 'gift', 'is gifting subs', ''],
	];
	for (const [item, tone, phrase, detail] of cases) {
		const view = f.describeMessageItem(item);
		assert.deepEqual([view.tone, view.phrase, view.detail], [tone, phrase, detail], JSON.stringify(item));
	}
	// Kinds without a phrase of their own show Twitch's system message alone.
	const other = f.describeMessageItem(twitch({ eventId: 'viewermilestone', eventText: 'Ann watched 10 streams' }));
	assert.deepEqual([other.systemText, other.phrase], [true, 'Ann watched 10 streams']);
});

// What the cards say (the poll's life on the page: account.test.mjs): early
// ends, predictions with points and people, locked, won or cancelled, a hype
// train's way to the next level and its end, odd payloads and the
// countdown's wording.
test('polls, predictions and hype trains become cards', () => {
	const now = Date.parse('2024-05-01T20:00:00Z');
	const at = (s) => new Date(now + s * 1000).toISOString();
	const view = (type, event) => {
		const v = d.describeHighlight({ type, event }, now);
		return v && { kind: v.kind, ended: v.ended, title: v.title, status: v.status, detail: v.detail, rows: v.rows.map((r) => [r.label, r.text, Math.round(r.share * 100), r.winner]) };
	};
	const cases = [
		[
			'channel.poll.end',
			{ title: 'Q', choices: [{ id: 'a', title: 'A', votes: 0 }], status: 'TERMINATED' },
			{ kind: 'poll', ended: true, title: 'Q', status: 'Poll ended early', detail: '', rows: [['A', '0 votes', 0, false]] },
		],
		[
			'channel.prediction.progress',
			{ title: 'Boss?', outcomes: [{ id: 'y', title: 'Yes', users: 3, channel_points: 1200 }, { id: 'n', title: 'No', users: 1, channel_points: 18000 }], locks_at: at(90) },
			{ kind: 'prediction', ended: false, title: 'Boss?', status: 'Prediction · 1:30 left', detail: '', rows: [['Yes', '1,200 points · 3 people', 6, false], ['No', '18K points · 1 person', 94, false]] },
		],
		[
			'channel.prediction.lock',
			{ title: 'Boss?', outcomes: [], locked_at: at(0) },
			{ kind: 'prediction', ended: false, title: 'Boss?', status: 'Predictions closed', detail: '', rows: [] },
		],
		[
			'channel.prediction.end',
			{ title: 'Boss?', outcomes: [{ id: 'y', title: 'Yes', channel_points: 1 }, { id: 'n', title: 'No' }], winning_outcome_id: 'n', status: 'resolved' },
			{ kind: 'prediction', ended: true, title: 'Boss?', status: 'Prediction ended', detail: '', rows: [['Yes', '1 point', 100, false], ['No', '0 points', 0, true]] },
		],
		[
			'channel.prediction.end',
			{ title: 'Boss?', outcomes: [{ id: 'y', title: 'Yes', channel_points: 1 }], winning_outcome_id: 'y', status: 'canceled' },
			{ kind: 'prediction', ended: true, title: 'Boss?', status: 'Prediction canceled', detail: '', rows: [['Yes', '1 point', 100, false]] },
		],
		[
			'channel.hype_train.progress',
			{ level: 2, progress: 300, goal: 2000, expires_at: at(300), top_contributions: [{ user_name: 'Raider' }, { user_login: 'someone' }] },
			{ kind: 'hype_train', ended: false, title: 'Hype Train · Level 2', status: 'Hype Train · 5:00 left', detail: 'Top: Raider, someone', rows: [['Level 3', '15%', 15, false]] },
		],
		[
			'channel.hype_train.end',
			{ level: 3, progress: 0, goal: 0 },
			{ kind: 'hype_train', ended: true, title: 'Hype Train · Level 3', status: 'Hype Train ended at level 3', detail: '', rows: [] },
		],
	];
	for (const [type, event, want] of cases) assert.deepEqual(view(type, event), want, type);

	// Anything else is not a card, and odd payloads never throw.
	for (const bad of [null, { type: 'channel.raid' }, { type: 7 }]) {
		assert.equal(d.describeHighlight(bad, now), null, JSON.stringify(bad));
	}
	assert.equal(view('channel.poll.progress', { choices: 'none', title: 5 }).title, 'Poll');
	assert.deepEqual(view('channel.prediction.begin', null).rows, []);
	assert.deepEqual(['soon', at(0), at(59.2), at(3700)].map((w) => d.timeLeft(w, now)), ['', '', '1:00 left', '1 h 1 min left']);
});

test('the pinned message is read from the pins reply', () => {
	const cases = [
		[{ data: [{ id: 'p1', message: { text: 'Rules!' }, sender_user_name: 'Mod', pinned_by_user_name: 'Boss' }] }, { id: 'p1', text: 'Rules!', name: 'Mod', by: 'Boss' }],
		[{ data: [{ id: 'p2', text: 'Plain', user_name: 'U' }] }, { id: 'p2', text: 'Plain', name: 'U', by: '' }],
		[{ data: [{ id: 'x', message: { text: '' } }, { message: 'Second', sender_name: 'S' }] }, { id: 'Second', text: 'Second', name: 'S', by: '' }],
		[{ data: null }, null],
		['text', null],
	];
	for (const [payload, want] of cases) assert.deepEqual(d.pinnedMessage(payload), want, JSON.stringify(payload));
});

test('StreamElements activity is described in words', () => {
	const now = Date.parse('2024-05-01T20:00:00Z');
	const se = (type, data, createdAt = '2024-05-01T19:58:00.000Z') => d.describeSeActivity({ type, data, createdAt }, now);
	const cases = [
		[se('tip', { username: 'kind', amount: 2.5, currency: 'not a code' }), ['kind', 'tipped 2.5', '', '', 'cheer']],
		[se('subscriber', { username: 's', amount: 1, tier: '2000', gifted: true }), ['s', 'received a gift sub', 'Tier 2', '', 'sub']],
		[se('follow', {}), ['Someone', 'followed', '', '', 'follow']],
		[se('newthing', null), ['Someone', 'newthing', '', '', 'other']],
	];
	for (const [v, want] of cases) assert.deepEqual([v.name, v.phrase, v.detail, v.message, v.tone], want, JSON.stringify(want));
	assert.equal(se('follow', {}, 'garbage').time, now);

	// The replay sends the activity back without the stored copy's ids.
	assert.deepEqual(d.seReplayBody({ _id: 'a1', channel: 'c', type: 'tip', provider: 'twitch', data: { amount: 5 }, createdAt: 'x' }), {
		type: 'tip',
		data: { amount: 5 },
		provider: 'twitch',
	});
	assert.deepEqual(d.seReplayBody(null), { type: '', data: {} });
});

test('ad break replies are summed up', () => {
	const cases = [
		['start', { data: [{ length: 90, message: '', retry_after: 480 }] }, 'Ad break started (90 s) · next one possible in 8 min'],
		['snooze', { data: [{ snooze_count: 2, snooze_refresh_at: '2024-05-01T21:00:00Z' }] }, 'Next ad snoozed · 2 snoozes left'],
		['snooze', { ok: true }, 'Next ad snoozed'],
	];
	for (const [action, reply, want] of cases) assert.equal(d.adReplyText(action, reply), want, action);
});
