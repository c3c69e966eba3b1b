import { FeedStream } from './events.js';
import { LinkHeader } from './links.js';
import { LiveList } from './live-list.js';
import { Composer } from './composer.js';
import { chatLine, eventLine, activityLine } from './render.js';
import { applyClear, strike } from './removals.js';
import { SeenKeys, replayRecent } from './recent.js';
import { HighlightCards } from './highlights.js';
import { PinBar } from './pins.js';
import { HeldQueue, AutomodLine } from './held.js';
import { AccountBar } from './account.js';
import { LineActions } from './line-actions.js';
import { UserCard } from './user-card.js';
import { EmotePicker } from './emote-picker.js';
import { ChatterList } from './chatters.js';
import { icon, reuseImages } from './dom.js';
import { ChatFilter } from './chat-filter.js';

// The chat dock: every chat line and chat-side item of both platforms, the
// follows and redemptions, the removals moderators make; above the chat the
// pinned message and the running poll, prediction or hype train, below it
// the messages AutoMod holds for a decision. With a Twitch account, a clicked
// line offers a reply and moderation, and a clicked name opens the user card.

const MAX_LINES = 300;
// In a busy chat the list is updated at most this often (ms): more lines
// per update, fewer layouts and paints of the whole list.
const UPDATE_GAP = 50;
// Cutting the oldest lines moves all the others, which then have to be
// painted again: a full list that follows the chat cuts this many more at
// once, so that only every so many updates pay for that.
const TRIM_SLACK = 60;

const header = new LinkHeader(document.getElementById('links'));
const chat = document.getElementById('chat');
const list = new LiveList(chat, {
	max: MAX_LINES,
	slack: TRIM_SLACK,
	newestAt: 'bottom',
	jumpButton: document.getElementById('jump'),
	prepare: (node) => filter.apply(node),
	dropped: reuseImages,
	gap: UPDATE_GAP,
});
const filter = new ChatFilter(document.getElementById('find'), list, {
	button: document.querySelector('.composer-find'),
});
const composer = new Composer(document.getElementById('composer'));
const highlights = new HighlightCards(document.getElementById('highlights'));
const pin = new PinBar(document.getElementById('pin'));
const held = new HeldQueue(document.getElementById('held'));
const automod = new AutomodLine(document.getElementById('automod'));
const account = new AccountBar(document.getElementById('account'));
const actions = new LineActions({
	onReply: (id, name) => composer.setReply(id, name),
	onRemoved: (id) => id && composer.replyTo === id && composer.setReply('', ''),
});
const card = new UserCard(document.querySelector('.list-wrap'));
const emoteButton = document.querySelector('.composer-emotes');
const chattersButton = document.querySelector('.composer-chatters');
const picker = new EmotePicker(document.querySelector('.list-wrap'), composer.input, emoteButton);
const chatters = new ChatterList(document.querySelector('.list-wrap'), {
	onPick: (who) => card.show(who),
	button: chattersButton,
});
let toolsLogin = null;
let ownNames = [];
let connected = false;

function text(value) {
	return typeof value === 'string' ? value : '';
}

function applyConfig(config) {
	if (!config || typeof config !== 'object') return;
	// Lines naming the channels, the signed-in account or a highlight word
	// stand out (and are what the "Mentions" filter shows).
	const login = config.account && typeof config.account === 'object' ? text(config.account.login) : '';
	const words = text(config.highlightWords).split(',');
	ownNames = [text(config.twitch), text(config.tiktok), text(config.kick), text(config.youtube), login, ...words].map((w) => w.trim()).filter(Boolean);
	composer.setAccount(config.account);
	account.apply(config);
	connected = composer.enabled;
	document.body.classList.toggle('can-act', connected);
	if (!connected) {
		actions.close();
		card.close();
	}
	header.setChannels(config);
	chat.dataset.empty = config.twitch || config.tiktok || config.kick || config.youtube
		? 'Waiting for chat…'
		: 'No channel is set up yet. Once one is, its chat appears here.';
}

// The emote picker and the chatter list need the account; the emotes are
// asked for again after a change of account or channel.
function applyChannelTools(config) {
	if (!config || typeof config !== 'object') return;
	const login = config.account && typeof config.account === 'object' ? text(config.account.login) : '';
	emoteButton.disabled = chattersButton.disabled = !login;
	if (login !== toolsLogin) {
		toolsLogin = login;
		picker.reset();
		chatters.close();
	}
	picker.setChannel(text(config.twitch));
}

emoteButton.append(icon('emote'));
chattersButton.append(icon('join'));
document.querySelector('.composer-find').append(icon('find'));
// One panel at a time over the chat.
emoteButton.addEventListener('click', () => {
	chatters.close();
	picker.toggle();
});
chattersButton.addEventListener('click', () => {
	picker.close();
	chatters.toggle();
});

const seen = new SeenKeys();

function lineFor(m) {
	return m.eventId ? eventLine(m) : chatLine(m, { mentionNames: ownNames });
}

function showItem(m) {
	if (!m || typeof m !== 'object' || !seen.first(m.id)) return null;
	return list.add(lineFor(m));
}

// A live line is drawn when the list takes it in, which in a flood is not
// every line.
function showLive(m) {
	if (m && typeof m === 'object' && seen.first(m.id)) list.add(() => lineFor(m));
}

function showActivity(a) {
	if (!a || typeof a !== 'object' || !seen.first(a.id)) return null;
	return list.add(activityLine(a));
}

function showClear(c) {
	if (c && typeof c === 'object' && seen.first(c.key)) applyClear(list, c);
}

// Who a clicked name stands for: Twitch lines carry the author's id; items
// without one (some events) are looked up by the name when it is a login.
function cardTarget(line, nameNode) {
	if (!line || line.dataset.platform !== 'twitch') return null;
	const name = line.dataset.name || nameNode.textContent;
	if (line.dataset.userId) return { userId: line.dataset.userId, name };
	return /^[A-Za-z0-9_]{1,25}$/.test(name) ? { login: name.toLowerCase(), name } : null;
}

// A click on a name opens its card; a click elsewhere on a chat line answers
// it (Twitch) and shows its actions. Both need the account.
chat.addEventListener('click', (event) => {
	if (event.target.closest('.line-actions')) return;
	if (window.getSelection && String(window.getSelection()) !== '') return;
	const line = event.target.closest('.line');
	const name = event.target.closest('.name');
	// While finding, or without an account, a name shows that user's lines.
	if (name && line && (filter.isOpen || !connected)) {
		filter.follow(line.dataset.name || name.textContent);
		return;
	}
	if (!connected) return;
	const who = name && cardTarget(line, name);
	if (who) {
		card.show(who);
		return;
	}
	if (!line || !line.classList.contains('msg')) return;
	if (line.dataset.platform === 'twitch' && line.dataset.id) composer.setReply(line.dataset.id, line.dataset.name || '');
	actions.open(line);
});

document.addEventListener('keydown', (event) => {
	if (event.key !== 'Escape' || event.defaultPrevented) return;
	if (card.open) card.close();
	else if (chatters.open) chatters.close();
	else if (picker.open) picker.close();
	else actions.close();
});

new FeedStream()
	.on('config', applyConfig)
	.on('config', applyChannelTools)
	.on('status', (s) => header.setStatus(s))
	.on('viewers', (v) => header.setViewers(v))
	.on('message-in', showLive)
	.on('activity', showActivity)
	.on('clear', showClear)
	.on('recent', (r) => replayRecent(r, { 'message-in': showItem, activity: showActivity, clear: showClear }, strike))
	.on('highlight', (h) => highlights.apply(h))
	.on('pins', (p) => pin.apply(p))
	.on('held', (h) => held.apply(h))
	.on('automod', (a) => automod.apply(a))
	.onState((state) => {
		header.setStream(state);
		if (state === 'open') highlights.forgetRunning();
	})
	.start();
