// The chat page under a flood: the fake chat sends 1,000 lines a second (100
// WebSocket messages of 10 lines) for 10 s to the developer host, whose chat
// page is open in Debian's Chromium (playwright-core, as the browser tests
// drive it). It prints how busy the page's main thread was (the renderer's
// task time from the DevTools protocol over the wall time of the flood), its
// long tasks (over 50 ms) and frames, and how many lines the list held at
// most, all over the flood's 10 s. Busy is measured twice: as the CPU time of
// the renderer's main thread (/proc/PID/task/PID/schedstat), which other load
// on the machine barely changes, and as the renderer's own task time, which
// counts the time its tasks wait for a core too. A benchmark, not a test: it
// fails only when something cannot be started. Target: the main thread busy
// less than half the time, the list bounded.
//
//   node page_flood.mjs [--rate 1000] [--seconds 10] [--messages-per-second 100]
// VANTEO_DEVHOST names the host binary, CHROMIUM the browser.
import fs from 'node:fs';
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

// The Chromium renderers this process started, by their process id (their
// main thread has the same id).
function renderers() {
	const parent = new Map();
	for (const name of fs.readdirSync('/proc')) {
		if (!/^\d+$/.test(name)) continue;
		try {
			const stat = fs.readFileSync(`/proc/${name}/stat`, 'utf8');
			parent.set(Number(name), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
		} catch {
			// Gone meanwhile.
		}
	}
	const ours = (pid) => {
		for (let p = pid; p > 1; p = parent.get(p)) if (p === process.pid) return true;
		return false;
	};
	return [...parent.keys()].filter((pid) => {
		try {
			return ours(pid) && fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('--type=renderer');
		} catch {
			return false;
		}
	});
}

const mainThreadNs = (pid) => Number(fs.readFileSync(`/proc/${pid}/task/${pid}/schedstat`, 'utf8').split(' ')[0]);

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
		const pids = renderers();
		const cpuBefore = pids.map(mainThreadNs);
		const before = await metrics();
		await fakes.command('twitch-chat', 'flood', { lines: benchLines(), linesPerMessage, messagesPerSecond, seconds });
		await waitUntil(async () => (await fakes.command('twitch-chat', 'state')).flood?.done, 'the flood', (seconds + 30) * 1000);
		const after = await metrics();
		const cpu = Math.max(...pids.map((pid, i) => mainThreadNs(pid) - cpuBefore[i]));
		const probe = await page.evaluate(() => {
			const p = window.floodProbe;
			p.running = false;
			return { ...p, lines: document.getElementById('chat').children.length };
		});
		// What is still on its way gets a few seconds more.
		const given = await waitUntil(
			() => page.evaluate((n) => window.floodProbe.added >= n && n, lines),
			'the last lines',
			5000
		).catch(() => page.evaluate(() => window.floodProbe.added));
		const wall = after.Timestamp - before.Timestamp;
		const share = (name) => (after[name] - before[name]) / wall;
		const frames = probe.frames.slice(1);
		const pct = (x) => `${(x * 100).toFixed(1)}%`;
		const busy = cpu / 1e9 / wall;
		console.log(
			`${rate} lines/s for ${seconds} s (${messagesPerSecond} messages/s), ${lines} lines;` +
				` put in the list: ${probe.added} by the flood's end, ${given} 5 s later at most`
		);
		console.log(`main thread CPU: ${pct(busy)} of ${wall.toFixed(1)} s  target < 50%: ${busy < 0.5 ? 'met' : 'not met'}`);
		console.log(
			`main thread tasks: ${pct(share('TaskDuration'))}` +
				` (script ${pct(share('ScriptDuration'))}, layout ${pct(share('LayoutDuration'))}, style ${pct(share('RecalcStyleDuration'))})`
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
