// The setup wizard in Debian's Chromium against the developer host and the
// fake sites (see harness.mjs for the environment it reads).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { start, finish, openPage, screenshotPath, waitUntil } from './harness.mjs';
import { normaliseName } from '../../web/js/setup-names.js';

let fakes, host, browser;
const problems = []; // requests that left the machine, script errors

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

// Waits for the field's answer, and for its picture when it has one.
function settled(page, platform) {
	return page.waitForFunction((key) => {
		const root = document.querySelector(`.setup-channel[data-platform="${key}"]`);
		const img = root.querySelector('.setup-avatar img');
		return ['ok', 'error', 'invalid', 'empty'].includes(root.dataset.check) && (!img || img.complete);
	}, platform);
}

async function typeInto(page, platform, text) {
	const input = page.locator(`#ch-${platform}`);
	await input.fill('');
	await input.pressSequentially(text, { delay: 30 });
}

async function sitePaths(site) {
	const { requests } = await fakes.command('sites', 'requests', { clear: true });
	return requests.filter((r) => r.site === site && !r.path.startsWith('/avatar/')).map((r) => r.path);
}

function readConfig() {
	const file = path.join(host.configDir, 'config.json');
	return fs.existsSync(file) ? JSON.parse(fs.readFileSync(file, 'utf8')) : {};
}

before(async () => {
	const prepare = async (f) => {
		await f.command('sites', 'twitch', { name: 'streamer', title: 'Streamer - Twitch' });
		await f.command('sites', 'youtube', { name: 'chan-nel', title: 'Chan Nel' });
		await f.command('sites', 'kick', { name: 'kicker', username: 'Kicker' });
		const avatar = `https://${f.info.endpoints['tiktok-web']}/avatar/tt.setup.svg`;
		await f.command('tiktok-web', 'room', { uniqueId: 'tt.setup', mode: 'offline', nickname: 'TT Setup', avatar });
	};
	({ fakes, host, browser } = await start({ firstPort: 18940, prepare }));
});

after(() => finish({ fakes, host, browser, problems }));

test('a new user completes the setup against the fakes', async () => {
	const page = await openSetup();
	await page.waitForFunction(() => document.activeElement?.id === 'ch-twitch');
	await page.screenshot({ path: screenshotPath('setup-1-empty.png') });

	// A name the rule refuses is answered at once, without asking anyone.
	await typeInto(page, 'twitch', 'ab');
	await settled(page, 'twitch');
	assert.deepEqual(await result(page, 'twitch'), {
		check: 'invalid', display: null, handle: null, live: null, picture: null, invalid: 'true',
		error: 'Twitch names have 3 to 25 letters, digits or “_”',
	});

	// Typing waits for a pause: only the finished name is looked up.
	await typeInto(page, 'twitch', 'https://www.twitch.tv/Streamer/');
	await settled(page, 'twitch');
	assert.deepEqual(await result(page, 'twitch'), {
		check: 'ok', display: 'Streamer', handle: '@streamer', live: null, error: null, picture: true, invalid: 'false',
	});
	assert.deepEqual(await sitePaths('twitch-web'), ['/streamer']);

	await typeInto(page, 'tiktok', '@TT.Setup');
	await settled(page, 'tiktok');
	assert.deepEqual(await result(page, 'tiktok'), {
		check: 'ok', display: 'TT Setup', handle: '@tt.setup', live: 'Offline', error: null, picture: true, invalid: 'false',
	});

	// A channel that does not exist says so next to its field; fixing the
	// name replaces the message.
	await typeInto(page, 'youtube', 'https://youtube.com/@nobody');
	await settled(page, 'youtube');
	assert.equal((await result(page, 'youtube')).error, 'No YouTube channel matches this name');
	assert.equal((await result(page, 'youtube')).invalid, 'true');
	await page.screenshot({ path: screenshotPath('setup-1-not-found.png') });
	await typeInto(page, 'youtube', '@Chan-Nel');
	await settled(page, 'youtube');
	assert.deepEqual(await result(page, 'youtube'), {
		check: 'ok', display: 'Chan Nel', handle: '@chan-nel', live: null, error: null, picture: true, invalid: 'false',
	});

	await typeInto(page, 'kick', 'kick.com/kicker');
	await settled(page, 'kick');
	assert.equal((await result(page, 'kick')).error, 'Paste the whole address, starting with https://, or type the name only');
	await typeInto(page, 'kick', 'https://kick.com/Kicker');
	await settled(page, 'kick');
	assert.deepEqual(await result(page, 'kick'), {
		check: 'ok', display: 'Kicker', handle: '@kicker', live: 'Live', error: null, picture: true, invalid: 'false',
	});
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

	// Stored and connected.
	const gameCapture = path.join(host.configDir, 'gamecapture.txt');
	await waitUntil(() => readConfig().setupDone && fs.existsSync(gameCapture), 'the setup to be stored');
	const stored = readConfig();
	assert.deepEqual([stored.twitch, stored.tiktok, stored.youtube, stored.kick], ['streamer', 'tt.setup', 'chan-nel', 'kicker']);
	assert.equal(fs.readFileSync(gameCapture, 'utf8'), '0');
	await waitUntil(async () => {
		const { sessions } = await fakes.command('twitch-chat', 'state');
		return sessions.some((s) => s.joined.includes('streamer'));
	}, 'the chat reader to join the channel');
	await waitUntil(async () => {
		const asked = await fakes.requests('tiktok-web', (r) => r.uniqueId === 'tt.setup');
		return asked.some((r) => !r.headers.some(([n, v]) => n === 'User-Agent' && v.includes('Chrome/128.')));
	}, 'the TikTok client to look the room up');
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

test('the chat dock reopens the setup', async () => {
	const chat = await openPage(browser, host, 'chat', '/', { problems });
	await chat.getByRole('button', { name: 'Open setup' }).click();
	await waitUntil(() => host.log.some((line) => line === `open ${host.url('setup', '/setup.html')}`), 'the setup to open');
	await chat.context().close();
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
