import { post } from './api.js';
import { el } from './dom.js';
import { normaliseName, invalidReason, readCheck } from './setup-names.js';

// One channel field of the wizard. What is typed is checked with the plug-in
// ("/api/check") once typing pauses, and at once when the field loses focus;
// the answer (picture, display name, live or not, or why nothing was found)
// is shown under the field. Only the answer for the latest text is shown:
// replies to older text are dropped. A name that cannot be saved is refused
// here without asking the plug-in.

export const CHECK_DELAY_MS = 600;

export class ChannelField {
	constructor(root, platform, { delay = CHECK_DELAY_MS } = {}) {
		this.root = root;
		this.platform = platform;
		this.input = root.querySelector('input');
		this.result = root.querySelector('.setup-result');
		this.delay = delay;
		this.edited = false;
		this.timer = 0;
		this.sequence = 0;
		this.checkedName = null; // the name of the shown answer
		this.view = { kind: 'empty' };

		this.input.addEventListener('input', () => {
			this.edited = true;
			this.schedule();
		});
		this.input.addEventListener('blur', () => this.checkNow());
		this.render();
	}

	get isTwitch() {
		return this.platform.key === 'twitch';
	}

	// The text the plug-in gets: what was typed, without surrounding blanks.
	get value() {
		return this.input.value.trim();
	}

	// {name, error} under the plug-in's rule.
	get normalised() {
		return normaliseName(this.value, this.isTwitch);
	}

	// A stored name from the configuration, unless the user is editing.
	setStored(name) {
		if (this.edited || this.input.value === name) return;
		this.input.value = name;
		this.checkNow();
	}

	schedule() {
		clearTimeout(this.timer);
		const { name, error } = this.normalised;
		// Emptying a field or breaking the rule shows at once; a name that
		// may exist waits for the pause.
		if (!name || error) {
			this.checkNow();
			return;
		}
		if (name !== this.checkedName) {
			// A reply still on its way is for other text now.
			this.sequence += 1;
			this.checkedName = null;
			this.show({ kind: 'pending' });
		}
		this.timer = setTimeout(() => this.checkNow(), this.delay);
	}

	async checkNow() {
		clearTimeout(this.timer);
		const { name, error } = this.normalised;
		if (error) {
			this.sequence += 1;
			this.checkedName = null;
			this.show({ kind: 'invalid', text: invalidReason(this.value, this.isTwitch) });
			return;
		}
		if (!name) {
			this.sequence += 1;
			this.checkedName = '';
			this.show({ kind: 'empty' });
			return;
		}
		if (name === this.checkedName) return; // shown, or on its way
		const sequence = ++this.sequence;
		this.checkedName = name;
		this.show({ kind: 'checking' });
		const reply = await post('check', { platform: this.platform.key, name: this.value });
		if (sequence !== this.sequence) return;
		this.show(readCheck(reply, this.platform.key));
	}

	// The field's error in words when its name cannot be saved, else "".
	saveError() {
		return this.normalised.error ? invalidReason(this.value, this.isTwitch) : '';
	}

	showSaveError(text) {
		this.sequence += 1;
		this.checkedName = null;
		this.show({ kind: 'invalid', text });
	}

	show(view) {
		this.view = view;
		this.render();
	}

	render() {
		const v = this.view;
		this.root.dataset.check = v.kind;
		const invalid = v.kind === 'invalid' || v.kind === 'error';
		this.input.setAttribute('aria-invalid', invalid ? 'true' : 'false');
		this.result.replaceChildren();
		if (v.kind === 'pending' || v.kind === 'checking') {
			this.result.append(el('span', 'setup-checking', 'Checking…'));
		} else if (v.kind === 'invalid') {
			this.result.append(el('span', 'setup-error', v.text));
		} else if (v.kind === 'error') {
			this.result.append(el('span', 'setup-error', v.text));
		} else if (v.kind === 'ok') {
			this.result.append(this.channelCard(v));
		}
	}

	channelCard(v) {
		const card = el('span', 'setup-found');
		const picture = el('span', 'setup-avatar');
		if (v.avatar) {
			const img = document.createElement('img');
			img.alt = '';
			img.referrerPolicy = 'no-referrer';
			img.decoding = 'async';
			img.src = v.avatar;
			img.addEventListener('error', () => img.remove(), { once: true });
			picture.append(img);
		}
		picture.dataset.initial = (v.display.trim()[0] || '?').toUpperCase();
		const words = el('span', 'setup-found-words');
		words.append(el('span', 'setup-display', v.display), el('span', 'setup-handle', '@' + v.name));
		card.append(picture, words);
		if (v.live !== null) card.append(el('span', v.live ? 'setup-live is-live' : 'setup-live', v.live ? 'Live' : 'Offline'));
		card.title = `${this.platform.label}: ${v.display} (@${v.name})`;
		return card;
	}

	// What the review step says about this field.
	summary() {
		const { name, error } = this.normalised;
		if (error) return { text: this.value, note: 'Invalid name', kind: 'error' };
		if (!name) return { text: 'Not used', note: '', kind: 'empty' };
		const v = this.view;
		if (v.kind === 'ok' && v.name === name) {
			const live = v.live === null ? '' : v.live ? ' · live now' : ' · offline';
			return { text: `${v.display} (@${name})`, note: 'Found' + live, kind: 'ok' };
		}
		if (v.kind === 'error' && this.checkedName === name) return { text: '@' + name, note: v.text, kind: 'warn' };
		return { text: '@' + name, note: 'Not checked yet', kind: 'warn' };
	}

	focus() {
		this.input.focus();
		this.input.select();
	}
}
