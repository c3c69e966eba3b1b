// Third-party emotes (7TV, BetterTTV, FrankerFaceZ) in the chat dock, against
// the fake providers: one line with every kind, the picker's groups, the
// switch. Screenshots: tests/artifacts/emotes-*.png.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { start, finish, linkState, openPage, screenshotPath, twitchLine, waitUntil } from './harness.mjs';

let fakes, host, browser;
const problems = []; // requests that left the machine, script errors

// Twitch's own emote images come from the fake web service.
before(async () => ({ fakes, host, browser } = await start({
	firstPort: 19110, images: ['/emoticons/v2/'], prepare: (f) => f.command('emotes', 'serve'),
})));

after(() => finish({ fakes, host, browser, problems }));

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

test('third-party emotes in a line, in the picker, and off by the switch', async () => {
	assert.deepEqual(await host.api('config', { twitch: 'streamer' }), { ok: true });
	const chat = await openPage(browser, host, 'chat', '/', { problems });
	await linkState(chat, 'twitch');

	// "Kappa" and the last "Clap" carry Twitch's own ranges, which win over
	// BetterTTV's "Clap". KEKW, (BTTV) catJAM, EZ (7TV), OMEGALUL (FFZ);
	// zero-width: cvHazmat (BTTV) over Kappa, RainTime (7TV) over catJAM,
	// ffzHat (FFZ) over OMEGALUL; "KEKW," is not a word of its own.
	const text = 'Kappa cvHazmat KEKW catJAM RainTime OMEGALUL ffzHat EZ KEKW, Clap';
	const line = (id) => twitchLine({ id, user: 'NightOwl', userId: '10001', text }).replace('emotes=;', 'emotes=25:0-4/1902:61-64;');
	// The sets load once the reader joined; lines before that stay words.
	let n = 0;
	const shown = await waitUntil(async () => {
		const id = `emo-${++n}`;
		await fakes.command('twitch-chat', 'send', { lines: [line(id)], templates: true });
		await chat.waitForSelector(`#chat > .line[data-id="${id}"]`);
		await chat.waitForFunction((i) => Array.from(document.querySelectorAll(`#chat > .line[data-id="${i}"] img`)).every((m) => m.complete), id);
		const read = await readLine(chat, id);
		return read.images.length === 9 && read;
	}, 'a line with the third-party emotes');
	assert.deepEqual(shown.pieces, ['[Kappa+cvHazmat]', ' ', '[KEKW]', ' ', '[catJAM+RainTime]', ' ', '[OMEGALUL+ffzHat]', ' ', '[EZ]', ' KEKW, ', '[Clap]']);
	assert.deepEqual(shown.images.map(([p]) => p), [
		'/emoticons/v2/25/default/dark/2.0',
		'/emote/bttvHazmat/2x',
		'/emote/bttvKekw/2x',
		'/emote/7tvCatJam/2x.webp',
		'/emote/7tvRain01/2x.webp',
		'/emote/128054/2',
		'/emote/720507/2',
		'/emote/7tvEZ01/2x.webp',
		'/emoticons/v2/1902/default/dark/2.0',
	]);
	assert.ok(shown.images.every(([, loaded]) => loaded), JSON.stringify(shown.images));
	assert.deepEqual(shown.stacks, [true, true, true]);
	for (const width of [320, 240]) {
		await chat.setViewportSize({ width, height: 400 });
		await chat.screenshot({ path: screenshotPath(`emotes-${width}.png`) });
	}

	// The picker lists them after Twitch's own, a group per provider.
	assert.deepEqual(await host.connectAccount('tok-streamer'), { login: 'streamer' });
	await chat.waitForFunction(() => !document.querySelector('.composer-emotes').disabled);
	await chat.click('.composer-emotes');
	await chat.waitForSelector('.ep-group');
	const groups = await chat.locator('.ep-group-name').allTextContents();
	assert.deepEqual(groups.slice(-3), ['7TV', 'BetterTTV', 'FrankerFaceZ']);
	await chat.evaluate(() => [...document.querySelectorAll('.ep-group')].at(-3).scrollIntoView());
	await chat.screenshot({ path: screenshotPath('emotes-picker-240.png') });

	// Off: new lines keep their words; the setting is in the config.
	assert.deepEqual(await host.api('third-party-emotes', { on: false }), { ok: true });
	await fakes.command('twitch-chat', 'send', { lines: [line('emo-off')], templates: true });
	await chat.waitForSelector('#chat > .line[data-id="emo-off"]');
	const off = await readLine(chat, 'emo-off');
	assert.deepEqual(off.pieces, ['[Kappa]', ' cvHazmat KEKW catJAM RainTime OMEGALUL ffzHat EZ KEKW, ', '[Clap]']);
});
