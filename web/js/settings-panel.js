import { post, isOk, errorText } from './api.js';
import { Feedback } from './feedback.js';

// The activity dock's settings: the StreamElements token and the ad break
// length ("/api/feed-config"), the chat's highlight words and third-party
// emotes, and a way back into the setup wizard
// ("/api/setup-open"). The stored token never comes back to the page, and
// the plug-in replaces it with whatever a save sends: saving with an empty
// field disconnects StreamElements, which the form says before it happens.

export class SettingsPanel {
	constructor(root, { onSaved = () => {} } = {}) {
		this.form = root.querySelector('.settings-form');
		this.token = root.querySelector('.se-token');
		this.adLength = root.querySelector('.ad-length');
		this.save = root.querySelector('.settings-save');
		this.warning = root.querySelector('.settings-warning');
		this.setup = root.querySelector('.setup-open');
		this.feedback = new Feedback(root.querySelector('.settings-feedback'));
		this.onSaved = onSaved;
		this.seConfigured = false;
		this.lengthEdited = false;
		this.touched = false;

		this.form.addEventListener('submit', (event) => {
			event.preventDefault();
			this.submit();
		});
		this.token.addEventListener('input', () => {
			this.touched = true;
			this.update();
		});
		this.adLength.addEventListener('input', () => {
			this.lengthEdited = this.touched = true;
			this.update();
		});
		this.setup.addEventListener('click', () => this.openSetup());
		// The chat dock's highlight words, saved on their own
		// ("/api/highlight-words") so they never touch the token.
		this.words = root.querySelector('.highlight-words');
		this.wordsSave = root.querySelector('.highlight-save');
		this.wordsEdited = false;
		this.words.addEventListener('input', () => (this.wordsEdited = true));
		root.querySelector('.highlight-form').addEventListener('submit', (event) => {
			event.preventDefault();
			this.saveWords();
		});
		// 7TV, BetterTTV and FrankerFaceZ emotes ("/api/third-party-emotes"),
		// saved at once.
		this.thirdParty = root.querySelector('.third-party-emotes');
		this.thirdParty.addEventListener('change', () => this.saveThirdParty());
		this.update();
	}

	async saveThirdParty() {
		const on = this.thirdParty.checked;
		this.thirdParty.disabled = true;
		const reply = await post('third-party-emotes', { on });
		this.thirdParty.disabled = false;
		if (!isOk(reply)) {
			this.thirdParty.checked = !on;
			this.feedback.say(errorText(reply), 'error');
			return;
		}
		this.feedback.say(on ? 'Third-party emotes on' : 'Third-party emotes off');
	}

	async saveWords() {
		this.wordsSave.disabled = true;
		const reply = await post('highlight-words', { words: this.words.value });
		this.wordsSave.disabled = false;
		if (!isOk(reply)) {
			this.feedback.say(errorText(reply), 'error');
			return;
		}
		this.wordsEdited = false;
		this.feedback.say('Highlight words saved');
	}

	applyConfig(config) {
		this.seConfigured = config.seConfigured === true;
		if (!this.lengthEdited && Number.isInteger(config.adLength)) this.adLength.value = String(config.adLength);
		if (!this.wordsEdited && typeof config.highlightWords === 'string') this.words.value = config.highlightWords;
		if (!this.thirdParty.disabled) this.thirdParty.checked = config.thirdPartyEmotes !== false;
		this.token.placeholder = this.seConfigured ? 'Connected · paste a new token to replace it' : 'StreamElements JWT token';
		this.update();
	}

	update() {
		// The button always says what a save does; the sentence why comes
		// once the user starts changing something.
		const disconnects = this.seConfigured && this.token.value.trim() === '';
		this.warning.hidden = !(disconnects && this.touched);
		this.save.textContent = disconnects ? 'Save and disconnect' : 'Save';
	}

	async submit() {
		const length = Number.parseInt(this.adLength.value, 10);
		if (!Number.isInteger(length) || length < 1) {
			this.feedback.say('The ad length is a number of seconds above 0', 'error');
			return;
		}
		this.save.disabled = true;
		const reply = await post('feed-config', { seToken: this.token.value.trim(), adLength: length });
		this.save.disabled = false;
		if (!isOk(reply)) {
			this.feedback.say(errorText(reply), 'error');
			return;
		}
		this.token.value = '';
		this.lengthEdited = this.touched = false;
		this.update();
		this.feedback.say('Saved');
		this.onSaved();
	}

	async openSetup() {
		this.setup.disabled = true;
		const reply = await post('setup-open');
		this.setup.disabled = false;
		if (isOk(reply)) this.feedback.say('Setup opened');
		else this.feedback.say(errorText(reply), 'error');
	}
}
