'use strict';
// Test certificates, made with the openssl command at run time (never
// committed): a test CA, a server certificate it signs for 127.0.0.1, ::1 and
// localhost, and two certificates that a client must refuse: one signed by the
// same CA for another name, and one signed by a CA the client never trusts.

const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

function openssl(args, cwd) {
	execFileSync('openssl', args, { cwd, stdio: ['ignore', 'ignore', 'pipe'] });
}

function makeCa(dir, base, commonName) {
	openssl([
		'req', '-x509', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes',
		'-keyout', `${base}.key`, '-out', `${base}.pem`, '-days', '3', '-subj', `/CN=${commonName}`,
		'-addext', 'basicConstraints=critical,CA:TRUE',
		'-addext', 'keyUsage=critical,keyCertSign,cRLSign',
	], dir);
}

function makeLeaf(dir, base, ca, altNames) {
	const ext = path.join(dir, `${base}.ext`);
	fs.writeFileSync(ext, [
		'basicConstraints=CA:FALSE',
		'keyUsage=critical,digitalSignature,keyEncipherment',
		'extendedKeyUsage=serverAuth',
		`subjectAltName=${altNames}`,
		'',
	].join('\n'));
	openssl([
		'req', '-new', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes',
		'-keyout', `${base}.key`, '-out', `${base}.csr`, '-subj', `/CN=${base}`,
	], dir);
	openssl([
		'x509', '-req', '-in', `${base}.csr`, '-CA', `${ca}.pem`, '-CAkey', `${ca}.key`,
		'-CAcreateserial', '-out', `${base}.pem`, '-days', '2', '-extfile', ext,
	], dir);
}

// Returns absolute paths: caFile (the one to trust), and key/cert pairs for
// server (valid), wrongName (trusted CA, wrong name) and untrusted (unknown CA).
function makeCertificates(dir) {
	fs.mkdirSync(dir, { recursive: true });
	makeCa(dir, 'ca', 'Vanteo Test CA');
	makeCa(dir, 'other-ca', 'Untrusted Test CA');
	makeLeaf(dir, 'server', 'ca', 'DNS:localhost,IP:127.0.0.1,IP:::1');
	makeLeaf(dir, 'wrong-name', 'ca', 'DNS:wrong-name.invalid');
	makeLeaf(dir, 'untrusted', 'other-ca', 'DNS:localhost,IP:127.0.0.1,IP:::1');
	const pair = (base) => ({
		key: path.join(dir, `${base}.key`),
		cert: path.join(dir, `${base}.pem`),
	});
	return {
		caFile: path.join(dir, 'ca.pem'),
		server: pair('server'),
		wrongName: pair('wrong-name'),
		untrusted: pair('untrusted'),
	};
}

// Key and certificate contents for tls.createServer.
function tlsOptions(pair) {
	return { key: fs.readFileSync(pair.key), cert: fs.readFileSync(pair.cert) };
}

module.exports = { makeCertificates, tlsOptions };
