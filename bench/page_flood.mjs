// The chat page under a flood: the fake chat sends 1,000 lines a second (100
// WebSocket messages of 10 lines) for 10 s to the developer host, whose chat
// page is open in Debian's Chromium (playwright-core, as the browser tests
// drive it). It prints how busy the page's main thread was (the renderer's
// task time from the DevTools protocol over the wall time of the flood), its
// long tasks (over 50 ms) and frames, and how many lines the list held at
// most. A benchmark, not a test: it fails only when something cannot be
// started. Target: the main thread busy less than half the time, the list
// bounded.
//
//   node page_flood.mjs [--rate 1000] [--seconds 10] [--messages-per-second 100]
// VANTEO_DEVHOST names the host binary, CHROMIUM the browser.
import { benchLines } from './chat_bench.mjs';
import { launchBrowser, openPage, startFakes, startHost, waitUntil } from '../tests/browser/harness.mjs';

function option(name, fallback) {
	const i = process.argv.indexOf(`--${name}`);
	return i >= 0 ? Number(process.argv[i + 1]) : fallback;
}
const rate = option('rate', 1000);
const seconds = option('seconds', 10);
const messagesPerSecond = option('messages-per-second', 100);
const CHANNEL = 'benchchannel';
const PIXEL = 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAQAAAC1HAwCAAAAC0lEQVR42mNkYAAAAAYAAjCB0C8AAAAASUVORK5CYII=';

// In the page: frame times from requestAnimationFrame, long tasks, the
// number of lines the list holds (its largest) and the lines it was given.
function instrument() {
	const chat = document.getElementById('chat');
	const probe = { frames: [], longTasks: [], maxLines: 0, added: 0, running: true };
	new PerformanceObserver((list) => {
		for (const entry of list.getEntries()) probe.longTasks.push(entry.duration);
	}).observe({ type: 'longtask' });
	new MutationObserver((records) => {
		for (const r of records) probe.added += r.addedNodes.length;
	}).observe(chat, { childList: true });
	let last = performance.now();
	const tick = (now) => {
		probe.frames.push(now - last);
		last = now;
		probe.maxLines = Math.max(probe.maxLines, chat.children.length);
		if (probe.running) requestAnimationFrame(tick);
	};
	requestAnimationFrame(tick);
	window.floodProbe = probe;
}

function percentile(values, p) {
	const sorted = Float64Array.from(values).sort();
	return sorted.length ? sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))] : NaN;
}

async function main() {
	const fakes = await startFakes();
	let host;
	let browser;
	try {
		host = await startHost({ firstPort: 28760, fakes });
		// The lines' emotes, as the CDN serves them: cached by the browser.
		await fakes.command('web', 'route', {
			path: '/emoticons/v2/',
			prefix: true,
			headers: { 'Content-Type': 'image/png', 'Cache-Control': 'max-age=3600' },
			bodyBase64: PIXEL,
		});
		await host.api('config', { twitch: CHANNEL });
		await waitUntil(
			async () => (await fakes.command('twitch-chat', 'state')).sessions.some((s) => s.open && s.joined.length),
			'the host to join'
		);
		browser = await launchBrowser();
		const page = await openPage(browser, host, 'chat', '/');
		const cdp = await page.context().newCDPSession(page);
		await cdp.send('Performance.enable');
		const metrics = async () =>
			Object.fromEntries((await cdp.send('Performance.getMetrics')).metrics.map((m) => [m.name, m.value]));
		await page.evaluate(instrument);

		const linesPerMessage = Math.max(1, Math.round(rate / messagesPerSecond));
		const lines = Math.round(messagesPerSecond * seconds) * linesPerMessage;
		const before = await metrics();
		await fakes.command('twitch-chat', 'flood', { lines: benchLines(), linesPerMessage, messagesPerSecond, seconds });
		await waitUntil(async () => (await fakes.command('twitch-chat', 'state')).flood?.done, 'the flood', (seconds + 30) * 1000);
		// The page gets a moment for what is still on its way.
		await waitUntil(() => page.evaluate((n) => window.floodProbe.added >= n, lines), 'the last lines', 5000).catch(() => {});
		const after = await metrics();
		const probe = await page.evaluate(() => {
			const p = window.floodProbe;
			p.running = false;
			return { ...p, lines: document.getElementById('chat').children.length };
		});
		const wall = after.Timestamp - before.Timestamp;
		const share = (name) => (after[name] - before[name]) / wall;
		const frames = probe.frames.slice(1);
		const pct = (x) => `${(x * 100).toFixed(1)}%`;
		console.log(`${rate} lines/s for ${seconds} s (${messagesPerSecond} messages/s), ${lines} lines; page given ${probe.added}`);
		console.log(
			`main thread busy: ${pct(share('TaskDuration'))} of ${wall.toFixed(1)} s` +
				` (script ${pct(share('ScriptDuration'))}, layout ${pct(share('LayoutDuration'))}, style ${pct(share('RecalcStyleDuration'))})` +
				`  target < 50%: ${share('TaskDuration') < 0.5 ? 'met' : 'not met'}`
		);
		console.log(
			`long tasks: ${probe.longTasks.length}, ${probe.longTasks.reduce((a, b) => a + b, 0).toFixed(0)} ms in all;` +
				` frames: ${frames.length} (${(frames.length / wall).toFixed(1)}/s), p50 / p99 / max ${percentile(frames, 50).toFixed(1)} / ${percentile(frames, 99).toFixed(1)} / ${Math.max(...frames).toFixed(1)} ms`
		);
		console.log(`list: at most ${probe.maxLines} lines, ${probe.lines} at the end; DOM nodes ${after.Nodes}, JS heap ${(after.JSHeapUsedSize / 1048576).toFixed(1)} MiB`);
	} finally {
		await browser?.close();
		await host?.stop();
		await fakes.stop();
	}
}

main().catch((error) => {
	console.error(error);
	process.exit(1);
});
