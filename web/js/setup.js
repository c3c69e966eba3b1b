import { post, isOk, errorText } from './api.js';
import { FeedStream } from './events.js';
import { el } from './dom.js';
import { PLATFORMS } from './setup-names.js';
import { ChannelField } from './setup-field.js';
import { AccountCard } from './setup-account.js';

// The setup wizard, shown in the Setup dialog at first start and whenever
// the streamer reopens it. Three steps: the channels (each checked as it is
// typed), the Twitch account and the two switches, and a review. Nothing is
// stored until Finish: then the names go to "/api/config" (which restarts the
// connections), the switches to "/api/game" and "/api/replay-notify", and
// "/api/setup-done" ends the first-start state and hides the dialog. The
// Twitch sign-in is the one exception, being an explicit action of its own.

const STEPS = ['channels', 'extras', 'review'];
const DOWN_TEXT = 'Vanteo is not reachable. Reconnecting…';

const $ = (id) => document.getElementById(id);
const form = $('wizard');
const backButton = $('back');
const nextButton = $('next');
const saveError = $('save-error');
const autoGame = $('auto-game');
const replayNotify = $('replay-notify');

const fields = new Map(
	PLATFORMS.map((p) => [p.key, new ChannelField(form.querySelector(`.setup-channel[data-platform="${p.key}"]`), p)])
);
const account = new AccountCard(form.querySelector('.setup-account'));
let step = 'channels';
let saving = false;
let switchesTouched = false;

function sayError(text) {
	saveError.textContent = text;
}

function showStep(name, { focus = true } = {}) {
	step = name;
	form.dataset.step = name;
	const at = name === 'done' ? STEPS.length : STEPS.indexOf(name);
	for (const section of form.querySelectorAll('.setup-step')) section.hidden = section.dataset.step !== name;
	for (const item of form.querySelectorAll('.setup-steps li')) {
		const index = STEPS.indexOf(item.dataset.step);
		item.classList.toggle('is-done', index < at);
		if (index === at) item.setAttribute('aria-current', 'step');
		else item.removeAttribute('aria-current');
	}
	backButton.hidden = at === 0 || name === 'done';
	nextButton.hidden = name === 'done';
	nextButton.textContent = name === 'review' ? 'Finish' : 'Next';
	if (name === 'review') renderSummary();
	sayError('');
	if (focus) form.querySelector(`.setup-step[data-step="${name}"] .setup-step-title`).focus();
}

// The first field whose name cannot be saved shows why and takes the focus;
// false when every name can be saved.
function refuseInvalidNames() {
	let first = null;
	for (const field of fields.values()) {
		const reason = field.saveError();
		if (!reason) continue;
		field.showSaveError(reason);
		first = first || field;
	}
	if (!first) return false;
	if (step !== 'channels') showStep('channels', { focus: false });
	first.focus();
	return true;
}

function summaryRow(list, label, { text, note, kind }) {
	const value = el('dd', 'setup-summary-value');
	value.dataset.kind = kind;
	value.append(el('span', 'setup-summary-text', text));
	if (note) value.append(el('span', 'setup-summary-note', note));
	list.append(el('dt', 'setup-summary-label', label), value);
}

function renderSummary() {
	const list = $('summary');
	list.replaceChildren();
	for (const p of PLATFORMS) summaryRow(list, p.label, fields.get(p.key).summary());
	summaryRow(list, 'Twitch account', account.summary());
	const onOff = (box) => ({ text: box.checked ? 'On' : 'Off', note: '', kind: box.checked ? 'ok' : 'empty' });
	summaryRow(list, 'Automatic game capture', onOff(autoGame));
	summaryRow(list, 'Replay notifications', onOff(replayNotify));
}

async function finish() {
	if (refuseInvalidNames()) return;
	saving = true;
	nextButton.disabled = backButton.disabled = true;
	nextButton.textContent = 'Saving…';
	sayError('');
	const names = {};
	for (const [key, field] of fields) names[key] = field.value;
	const steps = [
		['config', names],
		['game', { on: autoGame.checked }],
		['replay-notify', { on: replayNotify.checked }],
		['setup-done', {}],
	];
	let failure = '';
	for (const [name, body] of steps) {
		const reply = await post(name, body);
		if (!isOk(reply)) {
			failure = errorText(reply);
			break;
		}
	}
	saving = false;
	nextButton.disabled = backButton.disabled = false;
	nextButton.textContent = 'Finish';
	if (failure) {
		sayError(`Not saved: ${failure}`);
		return;
	}
	for (const field of fields.values()) field.edited = false;
	switchesTouched = false;
	showStep('done');
}

form.addEventListener('submit', (event) => {
	event.preventDefault();
	if (saving) return;
	if (step === 'channels') {
		if (refuseInvalidNames()) return;
		for (const field of fields.values()) field.checkNow();
		showStep('extras');
	} else if (step === 'extras') {
		showStep('review');
	} else if (step === 'review') {
		finish();
	}
});

backButton.addEventListener('click', () => {
	const at = STEPS.indexOf(step);
	if (at > 0 && !saving) showStep(STEPS[at - 1]);
});

$('again').addEventListener('click', () => showStep('channels'));

// Enter in the Client ID field connects rather than moving on.
$('client-id').addEventListener('keydown', (event) => {
	if (event.key !== 'Enter') return;
	event.preventDefault();
	account.connect();
});

for (const box of [autoGame, replayNotify]) box.addEventListener('change', () => (switchesTouched = true));

// The dialog is hidden, not closed, when setup is done; when it is shown
// again the wizard starts over instead of showing the last "done".
document.addEventListener('visibilitychange', () => {
	if (document.visibilityState === 'visible' && step === 'done') showStep('channels', { focus: false });
});

function applyConfig(config) {
	if (!config || typeof config !== 'object') return;
	for (const [key, field] of fields) field.setStored(typeof config[key] === 'string' ? config[key] : '');
	account.apply(config);
	if (!switchesTouched) {
		autoGame.checked = config.autoGame === true;
		replayNotify.checked = config.replayNotify === true;
	}
	if (step === 'review') renderSummary();
}

new FeedStream()
	.on('config', applyConfig)
	.onState((state) => {
		if (state === 'down') sayError(DOWN_TEXT);
		else if (saveError.textContent === DOWN_TEXT) sayError('');
	})
	.start();

showStep('channels', { focus: false });
fields.get('twitch').input.focus();
