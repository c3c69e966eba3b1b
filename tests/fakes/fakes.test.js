'use strict';
// What the product's tests take on trust from the fakes and check nowhere
// else: every endpoint of the module points at loopback, and the process ends
// with its standard input, removing its folder. (The certificates: HttpsTest.)
// Run with `node --test fakes/`.

const test = require('node:test');
const assert = require('node:assert');
const { spawn } = require('node:child_process');
const { once } = require('node:events');
const fs = require('node:fs');
const path = require('node:path');
const readline = require('node:readline');
const { ENDPOINT_NAMES } = require('./lib/endpoints');

test('endpoints and the end of the process', async () => {
	const child = spawn(process.execPath, [path.join(__dirname, 'server.js')], { stdio: ['pipe', 'pipe', 'inherit'] });
	const [line] = await once(readline.createInterface({ input: child.stdout }), 'line');
	const info = JSON.parse(line);
	assert.deepStrictEqual(Object.keys(info.endpoints).sort(), [...ENDPOINT_NAMES].sort());
	for (const at of Object.values(info.endpoints)) assert.match(at, /^127\.0\.0\.1:\d+$/);

	child.stdin.end();
	const [code] = await once(child, 'exit');
	assert.strictEqual(code, 0);
	assert.strictEqual(fs.existsSync(path.dirname(info.ca)), false);
});
