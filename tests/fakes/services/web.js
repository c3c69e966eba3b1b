'use strict';
// A scriptable web service: every answer comes from the scripts a test sets
// ("route", an alias of the base's "script"); without one the answer is 404
// "no route". Four listeners share the scripts and the records:
//   web         HTTPS with the trusted test certificate (also the stand-in for
//               every endpoint that has no fake of its own)
//   web-plain   plain HTTP
//   untrusted   HTTPS with a certificate from a CA nobody trusts
//   wrong-name  HTTPS with a certificate from the test CA for another name

const { RecordingService } = require('../lib/recording');

class Web extends RecordingService {
	constructor(context) {
		super(context, 'web', { web: 'server', 'web-plain': 'plain', untrusted: 'untrusted', 'wrong-name': 'wrongName' });
		// The runner points the endpoints nobody claims at ports.web.
		this.claims = [];
	}

	async start() {
		await super.start();
		this.ports = Object.fromEntries([...this.listeners].map(([name, listener]) => [name, listener.port]));
	}

	note(req, url, host) {
		return { listener: host };
	}
}

module.exports = { Web };
