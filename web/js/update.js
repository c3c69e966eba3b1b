// The Updates page: the updater's state from "/api/update", its release
// notes, and the actions (restart, check, release pages, close). Opened by
// the plug-in in three modes: "update" (after a check), "history" (every
// note) and "news" (notes newer than "since" are marked as new).

import { errorText, isOk, post } from './api.js';

const params = new URLSearchParams(location.search);
const mode = params.get('mode') || 'update';
const since = params.get('since') || '';
const POLL_MS = 3000;

const $ = (id) => document.getElementById(id);

// Versions compare as three integers, like the plug-in does.
export function versionTriple(text) {
	const parts = String(text || '').split('.').slice(0, 3).map((piece) => {
		const n = parseInt(piece, 10);
		return Number.isFinite(n) ? n : 0;
	});
	while (parts.length < 3) parts.push(0);
	return parts;
}

export function isNewer(version, than) {
	const a = versionTriple(version);
	const b = versionTriple(than);
	for (let i = 0; i < 3; i += 1) if (a[i] !== b[i]) return a[i] > b[i];
	return false;
}

function showError(text) {
	$('error').textContent = text;
	$('error').hidden = !text;
}

function renderNotes(notes) {
	const list = $('notes');
	list.replaceChildren();
	for (const note of Array.isArray(notes) ? notes : []) {
		const item = document.createElement('li');
		const head = document.createElement('div');
		head.className = 'note-version';
		head.textContent = note.version || '';
		const body = document.createElement('div');
		body.className = 'note-text';
		body.textContent = note.text || '';
		if (mode === 'news' && isNewer(note.version, since)) item.classList.add('note-new');
		item.append(head, body);
		list.append(item);
	}
	list.classList.toggle('is-empty', !list.children.length);
}

function render(state) {
	$('message').textContent = state.message || (state.status === 'unknown' ? 'No update check has finished yet.' : '');
	$('current').textContent = state.current || '';
	$('latest').textContent = state.latest || '—';
	const ready = state.status === 'ready';
	$('restart').hidden = !(ready && state.canRestart === true);
	$('restart-hint').hidden = !(ready && state.canRestart !== true);
	$('title').textContent = mode === 'news' ? `What's new in Vanteo ${state.current || ''}` : 'Vanteo updates';
	renderNotes(state.notes);
}

async function refresh() {
	const state = await post('update', { action: 'state' });
	if (!state || state.error) {
		showError(errorText(state));
		return;
	}
	showError('');
	render(state);
}

async function act(action) {
	const reply = await post('update', { action });
	if (!isOk(reply)) showError(errorText(reply));
	else if (action === 'update') $('message').textContent = 'Checking for updates…';
}

for (const action of ['restart', 'download', 'releases', 'close']) $(action).addEventListener('click', () => act(action));
$('check').addEventListener('click', () => act('update'));

refresh();
setInterval(refresh, POLL_MS);
