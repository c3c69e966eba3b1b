'use strict';
// Fake GitHub for the updater: three HTTPS listeners, one per host the
// module names: github-api (the manifest through the contents API, as raw
// text when asked for it, else in GitHub's JSON envelope), github-raw (the
// manifest and the release files) and github-web (the releases page).
//
// Commands (POST /github/<command>):
//   publish {manifest: object or text, files: {"<version>/<path>": text |
//            {base64}}}   what the hosts serve (replaces the earlier set)
//   configure {api: status, raw: status,
//              file: {"<version>/<path>": status}, delayMs: {"<version>/<path>": ms}}
//            forced answers (403 for a rate limit, 500, ...) per host or file

const { RecordingService, Answer } = require('../lib/recording');

const OWNER_REPO = '/Pellorra/vanteo-releases';
const CONTENTS = `/repos${OWNER_REPO}/contents/manifest.json`;
const RAW_ROOT = `${OWNER_REPO}/main/`;

const text = (status, value) => new Answer(status, Buffer.from(value, 'utf8'), { 'Content-Type': 'application/octet-stream' });

class GitHub extends RecordingService {
	constructor(context) {
		super(context, 'github', { 'github-api': 'server', 'github-raw': 'server', 'github-web': 'server' });
		this.routes = [{ method: '*', match: /^/, answer: (ctx) => this.answer(ctx) }];
	}

	fresh() {
		this.manifest = '';
		this.files = new Map();
		this.config = { file: {}, delayMs: {} };
	}

	command_publish(args) {
		const m = args.manifest;
		this.manifest = typeof m === 'string' ? m : JSON.stringify(m || {});
		this.files = new Map();
		for (const [key, value] of Object.entries(args.files || {})) {
			this.files.set(key, typeof value === 'string' ? Buffer.from(value, 'utf8') : Buffer.from(value.base64 || '', 'base64'));
		}
	}

	command_configure(args) {
		this.config = { file: {}, delayMs: {}, ...args };
	}

	answer({ host, req }) {
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
				return this.manifest ? text(200, this.manifest) : text(404, '404: Not Found');
			}
			const body = this.files.get(key);
			const answer = this.config.file[key] ? text(Number(this.config.file[key]), 'forced')
				: body ? new Answer(200, body, { 'Content-Type': 'application/octet-stream' }) : text(404, '404: Not Found');
			answer.delayMs = Number(this.config.delayMs[key] || 0);
			return answer;
		}
		if (req.url === `${OWNER_REPO}/releases` || req.url === `${OWNER_REPO}/releases/latest`) {
			return text(200, '<!doctype html><title>Vanteo releases</title>');
		}
		return text(404, 'Not Found');
	}
}

module.exports = { GitHub };
