import { requestSignIn } from './account.js';

// The Twitch account card of the setup wizard. Connecting asks the plug-in
// to open Twitch's sign-in page in the user's browser ("/api/account"); the
// page Twitch returns to hands the token to the plug-in, and the next
// "config" event shows the account here. A build without a Twitch
// application of its own asks for the Client ID of the user's application.

function text(value) {
	return typeof value === 'string' ? value : '';
}

export class AccountCard {
	constructor(root) {
		this.root = root;
		this.clientLabel = root.querySelector('.setup-client');
		this.clientId = root.querySelector('#client-id');
		this.connectButton = root.querySelector('#connect');
		this.reauthButton = root.querySelector('#reauth');
		this.reauth = root.querySelector('.setup-reauth');
		this.login = root.querySelector('#account-login');
		this.note = root.querySelector('.setup-feedback');
		this.builtInClient = true;
		this.clientIdEdited = false;
		this.account = null;

		this.clientId.addEventListener('input', () => (this.clientIdEdited = true));
		this.connectButton.addEventListener('click', () => this.connect());
		this.reauthButton.addEventListener('click', () => this.connect());
	}

	apply(config) {
		const account = config.account && typeof config.account === 'object' && text(config.account.login) ? config.account : null;
		if (!!account !== !!this.account) this.say('');
		this.account = account;
		this.builtInClient = config.builtInClient !== false;
		if (!this.clientIdEdited) this.clientId.value = text(config.clientId);
		this.clientLabel.hidden = this.builtInClient;
		this.login.textContent = account ? account.login : '';
		this.reauth.hidden = !(account && account.needsReauth === true);
		this.root.dataset.state = account ? 'ok' : 'none';
	}

	// One line for the review step.
	summary() {
		if (!this.account) return { text: 'Not connected', note: 'You can connect it later from the chat dock', kind: 'empty' };
		return { text: this.account.login, note: this.account.needsReauth === true ? 'Needs authorising again' : 'Connected', kind: 'ok' };
	}

	say(message, kind = 'ok') {
		this.note.textContent = message;
		this.note.dataset.kind = kind;
	}

	async connect() {
		const clientId = this.builtInClient ? '' : this.clientId.value.trim();
		if (!this.builtInClient && !clientId) {
			this.say('Enter the Client ID of your Twitch application first.', 'error');
			this.clientId.setAttribute('aria-invalid', 'true');
			this.clientId.focus();
			return;
		}
		this.clientId.setAttribute('aria-invalid', 'false');
		this.connectButton.disabled = this.reauthButton.disabled = true;
		const outcome = await requestSignIn({ builtInClient: this.builtInClient, clientId }, 'this page');
		this.connectButton.disabled = this.reauthButton.disabled = false;
		if (outcome.error !== undefined) {
			this.say(outcome.error, 'error');
			if (!this.builtInClient) this.clientId.focus();
			return;
		}
		this.say(outcome.text);
	}
}
