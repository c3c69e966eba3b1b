'use strict';
// What the product's own tests take on trust from the fakes: every endpoint
// of the module points at loopback, the test CA is trusted where it should be
// and the refusing certificates are refused, and the process ends with its
// standard input. Run with `node --test fakes/`.

const test = require('node:test');
const assert = require('node:assert');
const { spawn } = require('node:child_process');
const { once } = require('node:events');
const fs = require('node:fs');
const https = require('node:https');
const path = require('node:path');
const readline = require('node:readline');
const { ENDPOINT_NAMES } = require('./lib/endpoints');

function get(port, ca) {
	return new Promise((resolve) => {
		https.get({ host: '127.0.0.1', port, path: '/x', ca }, (res) => {
			res.resume();
			res.on('end', () => resolve(res.statusCode));
		}).on('error', (error) => resolve(error.code));
	});
}

test('endpoints, certificates and the end of the process', async () => {
	const child = spawn(process.execPath, [path.join(__dirname, 'server.js')], { stdio: ['pipe', 'pipe', 'inherit'] });
	const [line] = await once(readline.createInterface({ input: child.stdout }), 'line');
	const info = JSON.parse(line);
	assert.deepStrictEqual(Object.keys(info.endpoints).sort(), [...ENDPOINT_NAMES].sort());
	for (const at of Object.values(info.endpoints)) assert.match(at, /^127\.0\.0\.1:\d+$/);
	assert.match(info.env.VANTEO_ENDPOINTS, /(^|,)twitch-chat=127\.0\.0\.1:\d+(,|$)/);

	const ca = fs.readFileSync(info.ca);
	await fetch(`http://127.0.0.1:${info.control}/web/route`, { method: 'POST', body: '{"path":"/x","status":418}' });
	assert.strictEqual(await get(info.ports.web, ca), 418);
	assert.strictEqual(await get(info.ports.web, undefined), 'UNABLE_TO_VERIFY_LEAF_SIGNATURE');
	assert.strictEqual(await get(info.ports.untrusted, ca), 'UNABLE_TO_VERIFY_LEAF_SIGNATURE');
	assert.strictEqual(await get(info.ports['wrong-name'], ca), 'ERR_TLS_CERT_ALTNAME_INVALID');

	child.stdin.end();
	const [code] = await once(child, 'exit');
	assert.strictEqual(code, 0);
	assert.strictEqual(fs.existsSync(path.dirname(info.ca)), false);
});
