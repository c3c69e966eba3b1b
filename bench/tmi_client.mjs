// The tmi.js side of the chat benchmark: a tmi.js 1.8.5 client, anonymous as
// ours, connected to the same fake chat and joined to the same channel. It
// counts the chat lines it is handed ("message" events) and how long after
// the fake wrote them (the fake puts its monotonic clock into each line's id,
// "b<seq>-<sent us>"), and answers on standard output:
//
//   node tmi_client.mjs PORT CHANNEL   (NODE_EXTRA_CA_CERTS: the fakes' CA)
//   -> {"joined":true}                 once in the channel
//   stdin "reset"     -> {"lines":0}   forgets what came so far
//   stdin "count"     -> {"lines":N}
//   stdin "latencies" -> {"lines":N,"latencies":[us,...]}
import https from 'node:https';
import { createRequire } from 'node:module';
import readline from 'node:readline';
import tls from 'node:tls';

const require = createRequire(import.meta.url);
const tmi = require('tmi.js');

const [port, channel] = process.argv.slice(2);
// tmi.js always dials port 443 for wss; the agent takes it to the fake's port.
const agent = new https.Agent();
agent.createConnection = (options) => tls.connect({ ...options, port: Number(port) });
const client = new tmi.Client({
	connection: { server: '127.0.0.1', secure: true, reconnect: false, agent },
	options: { skipMembership: true, skipUpdatingEmotesets: true },
	channels: [channel],
	logger: { info() {}, warn() {}, error(message) { process.stderr.write(`tmi: ${message}\n`); } },
});

let lines = 0;
let latencies = [];
client.on('message', (_channel, tags) => {
	const now = process.hrtime.bigint() / 1000n;
	lines++;
	const sent = /^b\d+-(\d+)$/.exec(tags.id || '');
	if (sent) latencies.push(Number(now - BigInt(sent[1])));
});
client.on('join', (_channel, _user, self) => {
	if (self) process.stdout.write('{"joined":true}\n');
});

readline.createInterface({ input: process.stdin }).on('line', (line) => {
	const command = line.trim();
	if (command === 'reset') {
		lines = 0;
		latencies = [];
	}
	process.stdout.write(`${JSON.stringify(command === 'latencies' ? { lines, latencies } : { lines })}\n`);
});
process.stdin.on('end', () => process.exit(0));

client.connect().catch((error) => {
	process.stderr.write(`tmi: cannot connect: ${error}\n`);
	process.exit(1);
});
