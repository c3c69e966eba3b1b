import { post, errorText } from './api.js';
import { el } from './dom.js';
import { Feedback } from './feedback.js';

// The Twitch account above the send box. Without an account: a button that
// asks the plug-in to open Twitch's sign-in page in the user's browser
// ("/api/account"); the page Twitch returns to (oauth.html) hands the token
// to the plug-in, and the next "config" event brings the account here. A
// build without its own Twitch application asks for the Client ID of the
// user's application first. With an account: its login, and a way to
// authorise again when the account lacks permissions the plug-in needs.

function text(value) {
	return typeof value === 'string' ? value : '';
}

export class AccountBar {
	constructor(node) {
		this.node = node;
		this.builtInClient = true;
		this.clientIdEdited = false;

		this.connectForm = el('form', 'account-connect');
		this.connectForm.autocomplete = 'off';
		const intro = el('p', 'account-intro', 'Connect your Twitch account to chat and moderate from this dock.');
		this.clientLabel = el('label', 'field field-stack account-client');
		this.clientId = el('input', 'account-client-id');
		this.clientId.type = 'text';
		this.clientId.spellcheck = false;
		this.clientId.maxLength = 64;
		this.clientId.placeholder = 'Client ID of your Twitch application';
		this.clientId.addEventListener('input', () => (this.clientIdEdited = true));
		this.clientLabel.append(el('span', 'field-label', 'Twitch Client ID'), this.clientId);
		this.connectButton = el('button', 'btn btn-accent account-connect-go', 'Connect Twitch');
		this.connectButton.type = 'submit';
		this.connectForm.append(intro, this.clientLabel, this.connectButton);
		this.connectForm.addEventListener('submit', (event) => {
			event.preventDefault();
			this.connect();
		});

		this.line = el('div', 'account-line');
		this.login = el('span', 'account-login');
		this.line.append(el('span', 'account-label', 'Twitch account'), this.login);

		this.reauth = el('div', 'account-reauth');
		this.reauthButton = el('button', 'btn account-reauth-go', 'Authorise again');
		this.reauthButton.type = 'button';
		this.reauthButton.addEventListener('click', () => this.connect());
		this.reauth.append(
			el('span', 'account-reauth-text', 'Twitch has not granted everything Vanteo needs. Authorise the account again.'),
			this.reauthButton
		);

		const note = el('p', 'account-note');
		this.feedback = new Feedback(note, { okMs: 300000 });
		this.note = note;
		node.append(this.connectForm, this.line, this.reauth, note);
		this.apply({ account: null, builtInClient: true });
	}

	apply(config) {
		const given = config.account && typeof config.account === 'object' ? config.account : null;
		const account = given && text(given.login) ? given : null;
		// A stored account Twitch has not confirmed yet (it did not answer):
		// kept, and the line says so instead of offering to connect again.
		const pending = !account && given ? text(given.pending) : '';
		const changed = !!account !== !!this.account;
		this.account = account;
		this.builtInClient = config.builtInClient !== false;
		if (!this.clientIdEdited) this.clientId.value = text(config.clientId);

		this.connectForm.hidden = !!account || !!pending;
		this.clientLabel.hidden = this.builtInClient;
		this.line.hidden = !account && !pending;
		this.login.textContent = account ? account.login : pending;
		this.line.title = account ? `Chat and moderation act as ${account.login}` : '';
		this.reauth.hidden = !(account && account.needsReauth === true);
		this.node.dataset.state = pending ? 'pending' : !account ? 'none' : account.needsReauth === true ? 'reauth' : 'ok';
		// What the sign-in said belongs to the sign-in; once an account
		// arrives (or goes) it is old news.
		if (changed) this.feedback.say('');
	}

	async connect() {
		this.connectButton.disabled = this.reauthButton.disabled = true;
		this.feedback.say('');
		const outcome = await requestSignIn({ builtInClient: this.builtInClient, clientId: this.clientId.value });
		this.connectButton.disabled = this.reauthButton.disabled = false;
		if (outcome.error) {
			this.feedback.say(outcome.error, 'error');
			if (!this.builtInClient) this.clientId.focus();
			return;
		}
		this.feedback.say(outcome.text);
	}
}

// Asks the plug-in to open Twitch's sign-in page in the user's browser.
// Resolves with {error} or with {text}: what the user does next. `where`
// names the page that updates once the account arrives.
export async function requestSignIn({ builtInClient, clientId = '' }, where = 'this dock') {
	const own = builtInClient ? '' : clientId.trim();
	const reply = await post('account', own ? { clientId: own } : {});
	if (reply.opened !== true) return { error: errorText(reply) };
	let said = `Twitch’s sign-in page is open in your browser. Approve Vanteo there; ${where} updates by itself.`;
	// An application of the user's own must list the address Twitch
	// returns to, or Twitch refuses the sign-in.
	const redirect = text(reply.redirect);
	if (!builtInClient && redirect) said += ` Your Twitch application needs the OAuth Redirect URL ${redirect}`;
	return { text: said };
}
