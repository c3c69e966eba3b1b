'use strict';
// The control channel: plain HTTP on 127.0.0.1, JSON in and out (see
// README.md).

const http = require('node:http');

async function readBody(req) {
	const chunks = [];
	for await (const chunk of req) chunks.push(chunk);
	return Buffer.concat(chunks).toString('utf8');
}

function reply(res, status, value) {
	const body = JSON.stringify(value);
	res.writeHead(status, {
		'Content-Type': 'application/json',
		'Content-Length': Buffer.byteLength(body),
		Connection: 'close',
	});
	res.end(body);
}

// services: Map name -> service (with command(name, args)); info(): object.
function startControl(services, info, log) {
	const server = http.createServer(async (req, res) => {
		try {
			const url = new URL(req.url, 'http://127.0.0.1');
			const text = await readBody(req);
			const args = text.trim() ? JSON.parse(text) : {};
			const parts = url.pathname.split('/').filter(Boolean);
			if (parts.length === 1 && parts[0] === 'info') return reply(res, 200, info());
			if (parts.length === 1 && parts[0] === 'reset') {
				for (const service of services.values()) await service.reset();
				return reply(res, 200, { ok: true });
			}
			const service = parts.length === 2 ? services.get(parts[0]) : undefined;
			if (!service) return reply(res, 404, { error: `no such service: ${url.pathname}` });
			log(`control ${parts[0]}/${parts[1]} ${text.length > 200 ? `${text.slice(0, 200)}...` : text}`);
			const result = await service.command(parts[1], args);
			return reply(res, 200, result === undefined ? { ok: true } : result);
		} catch (error) {
			return reply(res, 400, { error: String(error && error.message ? error.message : error) });
		}
	});
	server.keepAliveTimeout = 1000;
	return new Promise((resolve, reject) => {
		server.once('error', reject);
		server.listen(0, '127.0.0.1', () => resolve(server));
	});
}

module.exports = { startControl };
