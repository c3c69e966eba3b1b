'use strict';
// Starts every fake remote service on loopback ports chosen now, with a test
// CA made now, and prints one JSON line on standard output (see README.md).
// --keep-stdin-open: the process does not end when its standard input closes.

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { makeCertificates } = require('./certs');
const { startControl } = require('./lib/control');
const { ENDPOINT_NAMES } = require('./lib/endpoints');
const { StreamElements } = require('./services/streamelements');
const { TwitchChat } = require('./services/twitch_chat');
const { Web } = require('./services/web');
const { TikTokWeb } = require('./services/tiktok_web');
const { TikTokSigner } = require('./services/tiktok_signer');
const { TikTokPush } = require('./services/tiktok_push');
const { GitHub } = require('./services/github');
const { Sites } = require('./services/sites');
const { TwitchApi } = require('./services/twitch_api');
const { TwitchEventSub } = require('./services/twitch_eventsub');
const { KickPusher } = require('./services/kick_pusher');
const { YouTubeLive } = require('./services/youtube_live');
const { EmoteProviders } = require('./services/emote_providers');

// The web service comes first: it is the stand-in for unclaimed endpoints.
const SERVICE_CLASSES = [Web, TwitchChat, StreamElements, TikTokWeb, TikTokSigner, TikTokPush, GitHub, Sites,
	TwitchApi, TwitchEventSub, KickPusher, YouTubeLive, EmoteProviders];

function log(text) {
	if (process.env.VANTEO_FAKE_LOG) process.stderr.write(`[fakes] ${text}\n`);
}

async function main() {
	const args = process.argv.slice(2);
	const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vanteo-fakes-'));
	let services = new Map();
	let stopping = false;
	const stop = async (code) => {
		if (stopping) return;
		stopping = true;
		await Promise.allSettled([...services.values()].map((service) => service.stop()));
		fs.rmSync(dir, { recursive: true, force: true });
		process.exit(code);
	};
	process.on('SIGTERM', () => stop(0));
	process.on('SIGINT', () => stop(0));
	if (!args.includes('--keep-stdin-open')) {
		process.stdin.on('end', () => stop(0));
		process.stdin.on('error', () => stop(0));
		process.stdin.resume();
	}

	try {
		const certs = makeCertificates(dir);
		const context = { certs, log };
		services = new Map(SERVICE_CLASSES.map((Class) => {
			const service = new Class(context);
			return [service.name, service];
		}));
		for (const service of services.values()) await service.start();

		const endpoints = {};
		const ports = {};
		for (const service of services.values()) {
			Object.assign(ports, service.ports || {});
			for (const [name, port] of Object.entries(service.endpoints || {})) {
				endpoints[name] = `127.0.0.1:${port}`;
				ports[name] = port;
			}
		}
		for (const name of ENDPOINT_NAMES) endpoints[name] ??= `127.0.0.1:${services.get('web').ports.web}`;

		if (args.includes('--chat-script')) {
			const script = fs.readFileSync(args[args.indexOf('--chat-script') + 1], 'utf8');
			await services.get('twitch-chat').command('play', JSON.parse(script));
		}

		let info;
		const control = await startControl(services, () => info, log);
		info = {
			ready: true,
			control: control.address().port,
			ca: certs.caFile,
			endpoints,
			ports,
			env: {
				VANTEO_ENDPOINTS: Object.entries(endpoints).map(([name, at]) => `${name}=${at}`).join(','),
				VANTEO_CA_FILE: certs.caFile,
			},
		};
		process.stdout.write(`${JSON.stringify(info)}\n`);
		log(`ready: control on ${info.control}`);
	} catch (error) {
		process.stderr.write(`[fakes] start failed: ${error && error.stack ? error.stack : error}\n`);
		await stop(1);
	}
}

main();
