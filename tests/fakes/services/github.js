'use strict';
// Fake GitHub for the updater: three HTTPS listeners, one per host the
// module names.
//
//   github-api  GET /repos/Pellorra/vanteo-releases/contents/manifest.json
//               with "Accept: application/vnd.github.raw": the manifest text;
//               without that header the JSON envelope GitHub would send.
//   github-raw  GET /Pellorra/vanteo-releases/main/manifest.json and
//               GET /Pellorra/vanteo-releases/main/<version>/<path>: files.
//   github-web  GET /Pellorra/vanteo-releases/releases[/latest]: a page.
//
// Commands (POST /github/<command>):
//   publish {manifest: object or text, files: {"<version>/<path>": text |
//            {base64}}}   what the hosts serve (replaces the earlier set)
//   configure {api: status, raw: status, rawManifest: status,
//              file: {"<version>/<path>": status}, delayMs: {"<version>/<path>": ms}}
//            forced answers (403 for a rate limit, 500, ...) per host or file
//   requests {clear}   {requests: [{host, method, path, headers: [[n, v]..]}]}
//   reset {}
// Unknown paths get 404.

const https = require('node:https');
const { Listener } = require('../lib/listener');
const { tlsOptions } = require('../certs');
const { headerPairs } = require('../lib/headers');

const OWNER_REPO = '/Pellorra/vanteo-releases';
const CONTENTS = `/repos${OWNER_REPO}/contents/manifest.json`;
const RAW_ROOT = `${OWNER_REPO}/main/`;

class GitHub {
	constructor(context) {
		this.context = context;
		this.name = 'github';
		this.listeners = [];
		this.timers = new Set();
		this.reset();
	}

	async start() {
		const make = async (host) => {
			const server = https.createServer(tlsOptions(this.context.certs.server), (req, res) => this.request(host, req, res));
			server.on('tlsClientError', () => {});
			const listener = new Listener(host, server);
			this.listeners.push(listener);
			return listener.listen();
		};
		this.endpoints = {
			'github-api': await make('github-api'),
			'github-raw': await make('github-raw'),
			'github-web': await make('github-web'),
		};
	}

	async stop() {
		for (const timer of this.timers) clearTimeout(timer);
		for (const listener of this.listeners) await listener.close();
	}

	async reset() {
		for (const timer of this.timers || []) clearTimeout(timer);
		this.timers = new Set();
		this.manifest = '';
		this.files = new Map();
		this.config = { file: {}, delayMs: {} };
		this.records = [];
		for (const listener of this.listeners) listener.destroyAll();
	}

	async command(name, args) {
		switch (name) {
		case 'publish': {
			const m = args.manifest;
			this.manifest = typeof m === 'string' ? m : JSON.stringify(m || {});
			this.files = new Map();
			for (const [key, value] of Object.entries(args.files || {})) {
				this.files.set(key, typeof value === 'string' ? Buffer.from(value, 'utf8') : Buffer.from(value.base64 || '', 'base64'));
			}
			return { ok: true };
		}
		case 'configure':
			this.config = { file: {}, delayMs: {}, ...args };
			return { ok: true };
		case 'requests': {
			const requests = this.records;
			if (args.clear) this.records = [];
			return { requests };
		}
		case 'reset':
			await this.reset();
			return { ok: true };
		default:
			throw new Error(`unknown command ${name}`);
		}
	}

	request(host, req, res) {
		this.records.push({ host, method: req.method, path: req.url, headers: headerPairs(req.rawHeaders) });
		const [status, body, key] = this.answer(host, req);
		const send = () => {
			res.writeHead(status, { 'Content-Type': 'application/octet-stream', 'Content-Length': body.length });
			res.end(body);
		};
		const delay = key !== undefined ? Number(this.config.delayMs[key] || 0) : 0;
		if (delay > 0) {
			const timer = setTimeout(() => {
				this.timers.delete(timer);
				send();
			}, delay);
			this.timers.add(timer);
		} else {
			send();
		}
	}

	// [status, body Buffer, file key or undefined]
	answer(host, req) {
		const text = (status, value) => [status, Buffer.from(value, 'utf8')];
		if (req.method !== 'GET') return text(405, 'method not allowed');
		if (host === 'github-api') {
			if (this.config.api) return text(Number(this.config.api), '{"message":"API rate limit exceeded"}');
			if (req.url !== CONTENTS || !this.manifest) return text(404, '{"message":"Not Found"}');
			if (req.headers.accept === 'application/vnd.github.raw') return text(200, this.manifest);
			const content = Buffer.from(this.manifest, 'utf8').toString('base64');
			return text(200, JSON.stringify({ name: 'manifest.json', encoding: 'base64', content }));
		}
		if (host === 'github-raw') {
			if (this.config.raw) return text(Number(this.config.raw), 'unavailable');
			if (!req.url.startsWith(RAW_ROOT)) return text(404, '404: Not Found');
			const key = decodeURIComponent(req.url.slice(RAW_ROOT.length));
			if (key === 'manifest.json') {
				if (this.config.rawManifest) return text(Number(this.config.rawManifest), 'unavailable');
				return this.manifest ? text(200, this.manifest) : text(404, '404: Not Found');
			}
			if (this.config.file[key]) return [...text(Number(this.config.file[key]), 'forced'), key];
			const body = this.files.get(key);
			return body ? [200, body, key] : [...text(404, '404: Not Found'), key];
		}
		if (req.url === `${OWNER_REPO}/releases` || req.url === `${OWNER_REPO}/releases/latest`) {
			return text(200, '<!doctype html><title>Vanteo releases</title>');
		}
		return text(404, 'Not Found');
	}
}

module.exports = { GitHub };
