// The chat page under a flood: the fake chat sends 1,000 lines a second (100
// WebSocket messages of 10 lines) for 10 s to the developer host, whose chat
// page is open in Debian's Chromium (playwright-core, as the browser tests
// drive it). It prints how busy the page's main thread was (the renderer's
// task time from the DevTools protocol over the wall time of the flood), its
// long tasks (over 50 ms) and frames, and how many lines the list held at
// most, all over the flood's 10 s. Busy is measured twice: as the CPU time of
// the renderer's main thread (/proc/PID/task/PID/schedstat), which other load
// on the machine barely changes, and as the renderer's own task time, which
// counts the time its tasks wait for a core too. A page that fell behind on a
// busy machine does part of the work after the flood's end, so the CPU time
// until it has handled every line is given as well: what the flood cost it,
// which is what to compare between versions. A benchmark, not a test: it
// fails only when something cannot be started. Target: the main thread busy
// less than half the time, the list bounded.
//
// With --profile, it also samples the page's scripts (the DevTools CPU
// profiler) and prints the functions with the most self time; with --trace,
// it records the renderer's timeline and prints where the main thread's time
// went by kind of task (parsing, style, layout, paint, image decoding, GC...),
// as wall time and as the thread's CPU time, and keeps the trace for DevTools;
// with --screenshot, it saves the page as the flood left it.
//
//   node page_flood.mjs [--rate 1000] [--seconds 10] [--messages-per-second 100] [--profile] [--trace] [--screenshot FILE]
// VANTEO_DEVHOST names the host binary, CHROMIUM the browser.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { benchLines } from './chat_bench.mjs';
import { launchBrowser, openPage, startFakes, startHost, waitUntil } from '../tests/browser/harness.mjs';

function option(name, fallback) {
	const i = process.argv.indexOf(`--${name}`);
	return i >= 0 ? Number(process.argv[i + 1]) : fallback;
}
const flag = (name) => process.argv.includes(`--${name}`);
const rate = option('rate', 1000);
const seconds = option('seconds', 10);
const messagesPerSecond = option('messages-per-second', 100);
const CHANNEL = 'benchchannel';
const PIXEL = 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAQAAAC1HAwCAAAAC0lEQVR42mNkYAAAAAYAAjCB0C8AAAAASUVORK5CYII=';

// In the page: frame times from requestAnimationFrame, long tasks, the
// number of lines the list holds (its largest) and the lines it was given.
// The event streams the page opens are noted (before its scripts run), so
// that the probe can count the chat lines the page has handled.
function noteStreams() {
	const Native = window.EventSource;
	window.EventSource = class extends Native {
		constructor(...args) {
			super(...args);
			window.floodStream = this;
		}
	};
}

function instrument() {
	const chat = document.getElementById('chat');
	const probe = { frames: [], longTasks: [], maxLines: 0, added: 0, handled: 0, running: true };
	window.floodStream.addEventListener('message-in', () => probe.handled++);
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

// The functions with the most self time in a DevTools CPU profile.
function topFunctions(profile, wallMs, count = 15) {
	const byNode = new Map(profile.nodes.map((n) => [n.id, n.callFrame]));
	const self = new Map();
	profile.samples.forEach((id, i) => {
		const f = byNode.get(id);
		const key = `${f.functionName || '(anonymous)'} ${f.url ? `${f.url.replace(/^.*\/\/[^/]+/, '').replace(/\?.*$/, '')}:${f.lineNumber + 1}` : ''}`;
		self.set(key, (self.get(key) || 0) + (profile.timeDeltas[i] || 0) / 1000);
	});
	return [...self].sort((a, b) => b[1] - a[1]).slice(0, count).map(([key, ms]) => `  ${((ms / wallMs) * 100).toFixed(1).padStart(5)}%  ${key}`);
}

// The renderer main thread's self time by trace event name: its share of
// the wall time, the thread's CPU time in it (which load on the machine
// does not stretch) and how often it ran.
function topTraceEvents(trace, wallMs, count = 20) {
	const events = JSON.parse(trace).traceEvents;
	const mains = events.filter((e) => e.ph === 'M' && e.name === 'thread_name' && e.args.name === 'CrRendererMain');
	const perThread = mains.map((m) => events.filter((e) => e.pid === m.pid && e.tid === m.tid));
	const mine = perThread.sort((a, b) => b.length - a.length)[0] || [];
	// Begin/end pairs become complete events.
	const open = [];
	const spans = [];
	for (const e of mine) {
		if (e.ph === 'X' && e.dur !== undefined) spans.push({ name: e.name, ts: e.ts, end: e.ts + e.dur, cpu: e.tdur || 0 });
		else if (e.ph === 'B') open.push(e);
		else if (e.ph === 'E' && open.length) {
			const b = open.pop();
			spans.push({ name: b.name, ts: b.ts, end: e.ts, cpu: (e.tts || 0) - (b.tts || 0) });
		}
	}
	spans.sort((a, b) => a.ts - b.ts || b.end - a.end);
	const self = new Map();
	const add = (name, wall, cpu, n) => {
		const t = self.get(name) || { wall: 0, cpu: 0, n: 0 };
		self.set(name, { wall: t.wall + wall, cpu: t.cpu + cpu, n: t.n + n });
	};
	const stack = [];
	for (const s of spans) {
		while (stack.length && stack[stack.length - 1].end <= s.ts) stack.pop();
		const parent = stack[stack.length - 1];
		if (parent) add(parent.name, -(s.end - s.ts), -s.cpu, 0);
		add(s.name, s.end - s.ts, s.cpu, 1);
		stack.push(s);
	}
	return [...self]
		.sort((a, b) => b[1].wall - a[1].wall)
		.slice(0, count)
		.map(([name, t]) => `  ${((t.wall / 1000 / wallMs) * 100).toFixed(1).padStart(5)}%  ${(t.cpu / 1000).toFixed(0).padStart(5)} ms CPU  ${String(t.n).padStart(6)}x  ${name}`);
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
		await page.addInitScript(noteStreams);
		await page.reload();
		await page.waitForFunction(() => document.querySelector('.link .state')?.textContent !== '');
		const cdp = await page.context().newCDPSession(page);
		await cdp.send('Performance.enable');
		const metrics = async () =>
			Object.fromEntries((await cdp.send('Performance.getMetrics')).metrics.map((m) => [m.name, m.value]));
		await page.evaluate(instrument);

		const linesPerMessage = Math.max(1, Math.round(rate / messagesPerSecond));
		const lines = Math.round(messagesPerSecond * seconds) * linesPerMessage;
		const pids = renderers();
		const cpuBefore = pids.map(mainThreadNs);
		if (flag('profile')) {
			await cdp.send('Profiler.enable');
			await cdp.send('Profiler.setSamplingInterval', { interval: 200 });
			await cdp.send('Profiler.start');
		}
		if (flag('trace')) {
			await browser.startTracing(page, {
				categories: (process.env.CATS || 'toplevel,devtools.timeline,disabled-by-default-devtools.timeline,v8.execute,blink.user_timing').split(','),
			});
		}
		const before = await metrics();
		await fakes.command('twitch-chat', 'flood', { lines: benchLines(), linesPerMessage, messagesPerSecond, seconds });
		await waitUntil(async () => (await fakes.command('twitch-chat', 'state')).flood?.done, 'the flood', (seconds + 30) * 1000);
		const after = await metrics();
		const profile = flag('profile') ? (await cdp.send('Profiler.stop')).profile : null;
		const trace = flag('trace') ? (await browser.stopTracing()).toString() : null;
		const cpu = Math.max(...pids.map((pid, i) => mainThreadNs(pid) - cpuBefore[i]));
		const probe = await page.evaluate(() => {
			const p = window.floodProbe;
			p.running = false;
			return { ...p, lines: document.getElementById('chat').children.length };
		});
		// On a busy machine the page may still be behind: the main thread's
		// CPU time until it has handled every line is what the flood cost it,
		// however long that took.
		const caughtUp = await waitUntil(
			() => page.evaluate((n) => window.floodProbe.handled >= n && window.floodProbe.added, lines),
			'the page to handle every line',
			60000
		);
		const cpuAll = Math.max(...pids.map((pid, i) => mainThreadNs(pid) - cpuBefore[i]));
		if (flag('screenshot')) await page.screenshot({ path: process.argv[process.argv.indexOf('--screenshot') + 1] });
		// Chromium counts the nodes that are no longer in the page until a
		// garbage collection frees them; what is left after one is what the
		// page keeps.
		await cdp.send('HeapProfiler.collectGarbage');
		const kept = await metrics();
		const wall = after.Timestamp - before.Timestamp;
		const share = (name) => (after[name] - before[name]) / wall;
		const frames = probe.frames.slice(1);
		const pct = (x) => `${(x * 100).toFixed(1)}%`;
		const busy = cpu / 1e9 / wall;
		console.log(
			`${rate} lines/s for ${seconds} s (${messagesPerSecond} messages/s), ${lines} lines;` +
				` put in the list: ${probe.added} by the flood's end, ${caughtUp} once all were handled`
		);
		console.log(`main thread CPU: ${pct(busy)} of ${wall.toFixed(1)} s  target < 50%: ${busy < 0.5 ? 'met' : 'not met'}`);
		console.log(`main thread CPU until every line was handled: ${(cpuAll / 1e9).toFixed(2)} s, ${pct(cpuAll / 1e9 / seconds)} of the flood's ${seconds} s`);
		console.log(
			`main thread tasks: ${pct(share('TaskDuration'))}` +
				` (script ${pct(share('ScriptDuration'))}, layout ${pct(share('LayoutDuration'))}, style ${pct(share('RecalcStyleDuration'))})`
		);
		console.log(
			`long tasks: ${probe.longTasks.length}, ${probe.longTasks.reduce((a, b) => a + b, 0).toFixed(0)} ms in all;` +
				` frames: ${frames.length} (${(frames.length / wall).toFixed(1)}/s), p50 / p99 / max ${percentile(frames, 50).toFixed(1)} / ${percentile(frames, 99).toFixed(1)} / ${Math.max(...frames).toFixed(1)} ms`
		);
		if (profile) {
			const file = path.join(os.tmpdir(), 'page_flood.cpuprofile');
			fs.writeFileSync(file, JSON.stringify(profile));
			console.log(`functions by self time (of the wall time; whole profile in ${file}):\n${topFunctions(profile, wall * 1000).join('\n')}`);
		}
		if (trace) {
			const file = path.join(os.tmpdir(), 'page_flood.trace.json');
			fs.writeFileSync(file, trace);
			console.log(`main thread by task (self time: share of the wall time, CPU time, count; whole trace in ${file}):\n${topTraceEvents(trace, wall * 1000).join('\n')}`);
		}
		console.log(`list: at most ${probe.maxLines} lines, ${probe.lines} at the end; DOM nodes ${after.Nodes} (${kept.Nodes} after a garbage collection), JS heap ${(after.JSHeapUsedSize / 1048576).toFixed(1)} MiB`);
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
