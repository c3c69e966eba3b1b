import { FeedStream } from './events.js';
import { LinkHeader } from './links.js';
import { LiveList } from './live-list.js';
import { Composer } from './composer.js';
import { chatLine, eventLine, activityLine } from './render.js';
import { applyClear } from './removals.js';
import { HighlightCards } from './highlights.js';
import { PinBar } from './pins.js';
import { HeldQueue, AutomodLine } from './held.js';

// The chat dock: every chat line and chat-side item of both platforms, the
// follows and redemptions, the removals moderators make; above the chat the
// pinned message and the running poll, prediction or hype train, below it
// the messages AutoMod holds for a decision.

const MAX_LINES = 300;

const header = new LinkHeader(document.getElementById('links'));
const chat = document.getElementById('chat');
const list = new LiveList(chat, {
	max: MAX_LINES,
	newestAt: 'bottom',
	jumpButton: document.getElementById('jump'),
});
const composer = new Composer(document.getElementById('composer'));
const highlights = new HighlightCards(document.getElementById('highlights'));
const pin = new PinBar(document.getElementById('pin'));
const held = new HeldQueue(document.getElementById('held'));
const automod = new AutomodLine(document.getElementById('automod'));
let ownNames = [];

function text(value) {
	return typeof value === 'string' ? value : '';
}

function applyConfig(config) {
	if (!config || typeof config !== 'object') return;
	ownNames = [text(config.twitch), text(config.tiktok)].filter(Boolean);
	composer.setAccount(config.account);
	chat.dataset.empty = ownNames.length
		? 'Waiting for chat…'
		: 'No channel is set up yet. Once one is, its chat appears here.';
}

function showItem(m) {
	if (!m || typeof m !== 'object') return;
	list.add(m.eventId ? eventLine(m) : chatLine(m, { mentionNames: ownNames }));
}

// Clicking a Twitch line answers it (only while sending is possible).
chat.addEventListener('click', (event) => {
	const line = event.target.closest('.line.msg');
	if (!line || line.dataset.platform !== 'twitch' || !line.dataset.id || !composer.enabled) return;
	if (window.getSelection && String(window.getSelection()) !== '') return;
	composer.setReply(line.dataset.id, line.dataset.name || '');
});

new FeedStream()
	.on('config', applyConfig)
	.on('status', (s) => header.setStatus(s))
	.on('viewers', (v) => header.setViewers(v))
	.on('message-in', showItem)
	.on('activity', (a) => a && typeof a === 'object' && list.add(activityLine(a)))
	.on('clear', (c) => applyClear(list, c))
	.on('highlight', (h) => highlights.apply(h))
	.on('pins', (p) => pin.apply(p))
	.on('held', (h) => held.apply(h))
	.on('automod', (a) => automod.apply(a))
	.onState((state) => header.setStream(state))
	.start();
