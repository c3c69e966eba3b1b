// What the browser tests run against: the fake remote services, the developer
// host pointed at them, and Debian's Chromium driven by playwright-core.
//
// Environment: VANTEO_DEVHOST (default build/vanteo-devhost), CHROMIUM
// (default /usr/bin/chromium), VANTEO_TEST_ARTIFACTS (screenshots; default
// tests/artifacts). One file: node --experimental-default-type=module --test
// tests/browser/<name>.test.mjs
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { fileURLToPath } from 'node:url';
import { createRequire } from 'node:module';
import { chromium } from 'playwright-core';

// (CommonJS, like every fake: read through require.)
const { ENDPOINT_NAMES } = createRequire(import.meta.url)('../fakes/lib/endpoints.js');

export const root = fileURLToPath(new URL('../../', import.meta.url));
export const artifacts = process.env.VANTEO_TEST_ARTIFACTS || path.join(root, 'tests/artifacts');

// Resolves with the first line of a child's standard output that matches.
function firstLine(child, pattern, what) {
	return new Promise((resolve, reject) => {
		const lines = readline.createInterface({ input: child.stdout });
		lines.on('line', (line) => {
			const m = pattern.exec(line);
			if (m) resolve(m);
		});
		child.once('exit', (code) => reject(new Error(`${what} exited with ${code}`)));
		// A missing binary: fail the test instead of waiting for a line forever.
		child.once('error', (error) => reject(new Error(`${what}: ${error.message}`)));
	});
}

// The fake services (tests/fakes/server.js). Every endpoint of the module's
// table points at loopback, so nothing under test reaches the internet; they
// end when their standard input closes, so they never outlive the test
// process, and remove their folder (certificates included).
export async function startFakes() {
	const child = spawn(process.execPath, [path.join(root, 'tests/fakes/server.js')], {
		stdio: ['pipe', 'pipe', 'inherit'],
	});
	const [line] = await firstLine(child, /^\{.*"ready":true.*\}$/, 'the fake services');
	const info = JSON.parse(line);
	assert.deepEqual(Object.keys(info.endpoints).sort(), [...ENDPOINT_NAMES].sort());
	for (const at of Object.values(info.endpoints)) assert.match(at, /^127\.0\.0\.1:\d+$/);
	return {
		info,
		async command(service, name, args = {}) {
			const r = await fetch(`http://127.0.0.1:${info.control}/${service}/${name}`, {
				method: 'POST',
				body: JSON.stringify(args),
			});
			const reply = await r.json();
			if (!r.ok) throw new Error(`${service}/${name}: ${reply.error}`);
			return reply;
		},
		// The requests a service recorded that `keep` accepts (given the
		// request target as a URL too).
		async requests(service, keep = () => true) {
			const { requests } = await this.command(service, 'requests');
			return requests.filter((r) => keep(r, new URL(r.path, 'https://fake')));
		},
		async stop() {
			if (child.exitCode !== null) return;
			child.stdin.end();
			const [code] = await once(child, 'exit');
			assert.equal(code, 0);
			assert.equal(fs.existsSync(path.dirname(info.ca)), false);
		},
	};
}

// The developer host on the first free port from firstPort, with a fresh
// configuration folder unless one is given. Its log lines (standard error)
// are kept, so tests can see the addresses it was asked to open; `send`
// hands it an event for the pages (its standard input).
export async function startHost({ firstPort, fakes, configDir } = {}) {
	const dir = configDir || fs.mkdtempSync(path.join(os.tmpdir(), 'vanteo-pages-'));
	const env = { ...process.env, ...(fakes ? fakes.info.env : {}) };
	const child = spawn(
		process.env.VANTEO_DEVHOST || path.join(root, 'build/vanteo-devhost'),
		['--config-dir', dir, '--web-dir', path.join(root, 'web'), '--port', String(firstPort), '--no-browser'],
		{ stdio: ['pipe', 'pipe', 'pipe'], env }
	);
	const log = [];
	readline.createInterface({ input: child.stderr }).on('line', (line) => log.push(line));
	const m = await firstLine(child, /^ready port=(\d+) token=([0-9a-f]{24})$/, 'the developer host');
	const host = {
		child,
		configDir: dir,
		port: Number(m[1]),
		token: m[2],
		log,
		url(view, pagePath) {
			return `http://${view}.localhost:${host.port}${pagePath}?t=${host.token}`;
		},
		send(event, data) {
			child.stdin.write(`${event} ${JSON.stringify(data)}\n`);
		},
		async api(name, body = {}) {
			const r = await fetch(`http://127.0.0.1:${host.port}/api/${name}?t=${host.token}`, {
				method: 'POST',
				headers: { 'Content-Type': 'application/json' },
				body: JSON.stringify(body),
			});
			return r.json();
		},
		// A sign-in as the user makes it: the plug-in opens Twitch's page,
		// and the page Twitch returns to hands `token` over with the state
		// that address carried.
		async connectAccount(token) {
			const signIns = () => log.filter((l) => l.startsWith('open ') && l.includes('/oauth2/authorize?'));
			const before = signIns().length;
			await host.api('account');
			const opened = await waitUntil(() => signIns().length > before && signIns(), 'a sign-in address');
			const state = new URL(opened.at(-1).slice(5)).searchParams.get('state');
			return host.api('token', { token, state });
		},
		async stop() {
			if (child.exitCode === null) {
				child.kill('SIGTERM');
				await once(child, 'exit');
			}
			if (!configDir) fs.rmSync(dir, { recursive: true, force: true });
		},
	};
	return host;
}

// What a test file runs against: the fakes (`prepare` sets them up before the
// host starts), the developer host pointed at them and Chromium. `images`:
// path prefixes of the fake web service that answer with a small PNG (one of
// the host's own), for emote and gift pictures.
export async function start({ firstPort, configDir, prepare, images = [] } = {}) {
	const fakes = await startFakes();
	if (prepare) await prepare(fakes);
	const host = await startHost({ firstPort, fakes, configDir });
	const png = images.length ? await (await fetch(`http://127.0.0.1:${host.port}/badge/vip.png`)).arrayBuffer() : null;
	for (const prefix of images) {
		await fakes.command('web', 'route', {
			path: prefix, prefix: true, headers: { 'Content-Type': 'image/png' }, bodyBase64: Buffer.from(png).toString('base64'),
		});
	}
	return { fakes, host, browser: await launchBrowser() };
}

// Ends what start() began; no request may have left the machine and no page
// script may have failed.
export async function finish({ fakes, host, browser, problems }) {
	await browser?.close();
	await host?.stop();
	await fakes?.stop();
	assert.deepEqual(problems, [], 'no request left the machine and no page script failed');
}

// Headless, without a sandbox, background networking, component updates or
// a first run: Playwright's own switches.
export function launchBrowser() {
	return chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--disable-gpu'] });
}

// Opens a page of the host as a dock shows it, recording every request that
// leaves the machine's own addresses and every script error into `problems`;
// a dock page (`snapshot`) once it shows the server's state.
export async function openPage(browser, host, view, pagePath, { width = 320, height = 700, problems = [], snapshot = true } = {}) {
	// The fakes' test CA is not in Chromium's store; emote images served by
	// the fake web service would otherwise fail to load.
	const context = await browser.newContext({ viewport: { width, height }, ignoreHTTPSErrors: true });
	const page = watch(await context.newPage(), problems);
	await page.goto(host.url(view, pagePath));
	// The snapshot has arrived once the header shows a state from the server.
	if (snapshot) await page.waitForFunction(() => document.querySelector('.link .state')?.textContent !== '');
	return page;
}

// Waits until the header shows the platform's link in that state.
export function linkState(page, platform, state = 'connected') {
	return page.waitForFunction(([p, s]) => document.querySelector(`.link.plat-${p}`)?.dataset.state === s, [platform, state]);
}

// Records into `problems` each request that leaves the machine's own
// addresses and each script error of the page.
export function watch(page, problems) {
	page.on('request', (req) => {
		const name = new URL(req.url()).hostname;
		if (name !== '127.0.0.1' && name !== 'localhost' && !name.endsWith('.localhost')) problems.push(req.url());
	});
	page.on('pageerror', (e) => problems.push('page error: ' + e.message));
	return page;
}

export function screenshotPath(name) {
	fs.mkdirSync(artifacts, { recursive: true });
	return path.join(artifacts, name);
}

// Screenshots of a page at each width (NAME-WIDTH.png); its size is restored.
export async function shoot(page, name, widths = [240, 400]) {
	const size = page.viewportSize();
	for (const width of widths) {
		await page.setViewportSize({ width, height: 700 });
		await page.screenshot({ path: screenshotPath(`${name}-${width}.png`) });
	}
	await page.setViewportSize(size);
}

// One Twitch chat line as the chat fake sends it ("send" with templates):
// a PRIVMSG with the tags Twitch gives every line.
export function twitchLine({ id, user, userId, color = '', badges = '', emotes = '', text }) {
	const login = user.toLowerCase();
	const tags =
		`@badge-info=;badges=${badges};color=${color};display-name=${user};emotes=${emotes};first-msg=0;flags=;` +
		`id=${id};mod=0;returning-chatter=0;room-id={roomId};subscriber=0;tmi-sent-ts={ts};turbo=0;` +
		`user-id=${userId};user-type=`;
	return `${tags} :${login}!${login}@${login}.tmi.twitch.tv PRIVMSG #{channel} :${text}`;
}

// What a person sees of chat lines, by id (null for a missing one): the name,
// its colour, badges, the text with emotes as [code] (zero-width ones stacked
// on their base as [base+overlay]), its images, the notes above the line and
// its marks; `stacks` tells for each stack whether every overlay is centred
// on its base and adds no width of its own.
export function readLines(page, ids) {
	return page.evaluate((wanted) => wanted.map((id) => {
		const line = document.querySelector(`#chat > .line[data-id="${id}"]`);
		if (!line) return null;
		const text = line.querySelector('.line-body .text');
		const loaded = (i) => i.complete && i.naturalWidth > 0;
		const emote = (n) => n.nodeName === 'IMG' || n.classList?.contains('emote-stack');
		const alt = (n) => (n.nodeName === 'IMG' ? n.alt : Array.from(n.children).map((i) => i.alt).join('+'));
		return {
			name: line.querySelector('.name')?.textContent,
			color: getComputedStyle(line.querySelector('.name')).color,
			badges: Array.from(line.querySelectorAll('img.badge')).map((i) => [i.getAttribute('src'), loaded(i)]),
			pieces: Array.from(text.childNodes).map((n) => (emote(n) ? `[${alt(n)}]` : n.textContent)),
			images: Array.from(text.querySelectorAll('img')).map((i) => [new URL(i.src).pathname, loaded(i)]),
			notes: Array.from(line.querySelectorAll('.line-note, .reply-ctx')).map((n) => n.textContent),
			classes: ['first', 'action', 'deleted'].filter((c) => line.classList.contains(c)),
			stacks: Array.from(text.querySelectorAll('.emote-stack')).map((s) => {
				const [base, ...over] = Array.from(s.children).map((i) => i.getBoundingClientRect());
				const box = s.getBoundingClientRect();
				return over.every((o) => Math.abs(o.x + o.width / 2 - (base.x + base.width / 2)) < 1.5 && box.width <= Math.max(base.width, o.width) + 0.5);
			}),
		};
	}), ids);
}

// Resolves with the first truthy value of `probe`, tried every 50 ms; fails
// with `what` once `ms` have passed.
export async function waitUntil(probe, what, ms = 15000) {
	const deadline = Date.now() + ms;
	for (;;) {
		const value = await probe();
		if (value) return value;
		if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
		await new Promise((resolve) => setTimeout(resolve, 50));
	}
}
