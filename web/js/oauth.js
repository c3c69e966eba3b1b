import { post, errorText } from './api.js';

// The page Twitch's sign-in returns to, in the user's own browser. Twitch
// puts the access token in the address fragment (or an error in the query
// when the user declined); the page takes it out of the address bar at once,
// so it stays neither on screen nor in the history, and hands it to the
// plug-in ("/api/token", the one control route that needs no page token)
// together with the state Twitch hands back, which tells the plug-in that
// this sign-in is one it started.

// What the address carries: {token, state} or {error}.
export function readGrant(hash, search) {
	const fragment = new URLSearchParams(String(hash || '').replace(/^#/, ''));
	const query = new URLSearchParams(String(search || '').replace(/^\?/, ''));
	const token = fragment.get('access_token') || '';
	if (token) return { token, state: fragment.get('state') || '' };
	const error = fragment.get('error') || query.get('error') || '';
	const description = fragment.get('error_description') || query.get('error_description') || '';
	return { token: '', error: description || error };
}

function show(state, title, detail) {
	document.querySelector('.oauth-box').dataset.state = state;
	document.getElementById('title').textContent = title;
	document.getElementById('detail').textContent = detail;
	document.title = `Vanteo · ${title}`;
}

async function start() {
	const grant = readGrant(location.hash, location.search);
	history.replaceState(null, '', location.pathname);

	if (!grant.token) {
		show(
			'failed',
			'Twitch account not connected',
			grant.error
				? `Twitch did not sign you in: ${grant.error}. Start again from the Vanteo chat dock in OBS.`
				: 'This address carries no sign-in from Twitch. Start the connection from the Vanteo chat dock in OBS.'
		);
		return;
	}
	show('working', 'Connecting your Twitch account…', '');
	const reply = await post('token', { token: grant.token, state: grant.state });
	if (typeof reply.login === 'string' && reply.login) {
		show('connected', 'Twitch account connected', `Vanteo now chats and moderates as ${reply.login}. You can close this tab and go back to OBS.`);
		return;
	}
	show(
		'failed',
		'Twitch account not connected',
		`${errorText(reply).replace(/\.$/, '')}. Start again from the Vanteo chat dock in OBS.`
	);
}

if (typeof document !== 'undefined') {
	start();
	// Twitch sending this same tab back with another fragment does not load
	// the page again.
	window.addEventListener('hashchange', start);
}
