// Client of the plug-in's control API. Every call is a POST of a JSON object
// to "/api/<name>" with the page's token in the query; the server always
// answers 200 with a JSON object, and failures travel as {"error": text} or
// {"ok": false, ...}. Network trouble is turned into the same shape so that
// callers have one thing to check.

export const token = typeof location === 'undefined' ? '' : new URLSearchParams(location.search).get('t') || '';

export function withToken(path) {
	return path + (path.includes('?') ? '&' : '?') + 't=' + encodeURIComponent(token);
}

// The server reads body fields through a string getter, which yields "" for a
// JSON number or object. Numbers and objects are therefore sent as text
// ({"adLength": 90} becomes {"adLength": "90"}); booleans stay as they are,
// since switches are read as a raw '"on":true'.
export function textFields(body) {
	const out = {};
	for (const [key, value] of Object.entries(body || {})) {
		if (value === undefined || value === null) continue;
		if (typeof value === 'number') out[key] = Number.isFinite(value) ? String(value) : '';
		else if (typeof value === 'object') out[key] = JSON.stringify(value);
		else out[key] = value;
	}
	return out;
}

export function isOk(reply) {
	return !!reply && typeof reply === 'object' && !reply.error && reply.ok !== false;
}

export function errorText(reply) {
	if (!reply || typeof reply !== 'object') return 'Unexpected reply';
	if (typeof reply.error === 'string' && reply.error) return reply.error;
	return 'Request failed';
}

const TIMEOUT_MS = 30000;

export async function post(name, body = {}) {
	const controller = new AbortController();
	const timer = setTimeout(() => controller.abort(), TIMEOUT_MS);
	try {
		const response = await fetch(withToken('/api/' + name), {
			method: 'POST',
			headers: { 'Content-Type': 'application/json' },
			body: JSON.stringify(textFields(body)),
			cache: 'no-store',
			credentials: 'omit',
			referrerPolicy: 'no-referrer',
			signal: controller.signal,
		});
		let reply = null;
		try {
			reply = await response.json();
		} catch {
			reply = null;
		}
		if (response.status === 403 && reply && reply.error === 'token') {
			return { error: 'This page is out of date. Close and reopen the dock.' };
		}
		if (!response.ok) return { error: (reply && reply.error) || `Vanteo answered ${response.status}` };
		if (!reply || typeof reply !== 'object') return { error: 'Unexpected reply' };
		return reply;
	} catch (e) {
		return { error: e && e.name === 'AbortError' ? 'No answer from Vanteo' : 'Vanteo is not reachable' };
	} finally {
		clearTimeout(timer);
	}
}
