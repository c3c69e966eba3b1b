import { FeedStream } from './events.js';
import { LinkHeader } from './links.js';
import { LiveList } from './live-list.js';
import { DemoPanel } from './demo.js';
import { feedEntry, setRecipients } from './render.js';
import { isFeedWorthy, describeMessageItem, describeActivity } from './format.js';
import { StreamElementsPanel } from './se-panel.js';
import { AdPanel } from './ad-panel.js';
import { SettingsPanel } from './settings-panel.js';
import { SeenKeys, replayRecent } from './recent.js';

// The activity dock: follows, redemptions, subs, gifts, raids, cheers and
// TikTok gifts, follows and shares, newest first; below the list the tool
// panels: StreamElements, ad breaks, settings and test items.

const MAX_ITEMS = 200;
// Twitch announces a mystery gift first and then each gifted sub on its own;
// those that follow within this window are listed under the mystery gift
// instead of filling the list one by one.
const GIFT_GATHER_MS = 30000;

const header = new LinkHeader(document.getElementById('links'));
const listBox = document.getElementById('feed');
const list = new LiveList(listBox, {
	max: MAX_ITEMS,
	newestAt: 'top',
	jumpButton: document.getElementById('jump'),
});
new DemoPanel(document.getElementById('demo'));
const streamElements = new StreamElementsPanel(document.getElementById('se'));
const ads = new AdPanel(document.getElementById('ads'));
const settings = new SettingsPanel(document.getElementById('settings'));

// Which tool panels are open is remembered per dock.
for (const id of ['se', 'ads', 'settings', 'demo']) {
	const panel = document.getElementById(id);
	const key = `vanteo.${id}Open`;
	try {
		panel.open = localStorage.getItem(key) === '1';
		panel.addEventListener('toggle', () => localStorage.setItem(key, panel.open ? '1' : '0'));
	} catch {
		// Storage can be unavailable; the panels then start closed.
	}
}

let gathering = [];
const seen = new SeenKeys();

function gifter(m) {
	return `${m.platform}\n${m.userId || ''}\n${m.name || ''}`;
}

function gatherGift(m) {
	const now = Date.now();
	gathering = gathering.filter((g) => g.until > now && g.left > 0 && g.entry.isConnected);
	if (m.platform !== 'twitch' || m.eventId !== 'subgift') return false;
	const batch = gathering.find((g) => g.key === gifter(m));
	if (!batch) return false;
	batch.left -= 1;
	batch.names.push(m.eventRecipient || 'someone');
	setRecipients(batch.entry, batch.names);
	return true;
}

function showMessage(m) {
	if (!m || typeof m !== 'object' || !seen.first(m.id)) return;
	if (!isFeedWorthy(m) || gatherGift(m)) return;
	const entry = list.add(feedEntry(m, describeMessageItem(m)));
	const count = Number.parseInt(m.eventCount, 10);
	if (m.platform === 'twitch' && m.eventId === 'submysterygift' && count > 0) {
		gathering.push({ key: gifter(m), entry, left: count, names: [], until: Date.now() + GIFT_GATHER_MS });
	}
}

function showActivity(a) {
	if (!a || typeof a !== 'object' || !seen.first(a.id)) return;
	list.add(feedEntry(a, describeActivity(a)));
}

function applyConfig(config) {
	if (!config || typeof config !== 'object') return;
	header.setChannels(config);
	const configured = !!(config.twitch || config.tiktok || config.kick || config.youtube);
	listBox.dataset.empty = configured
		? 'No activity yet. Follows, subs, gifts, raids and cheers appear here.'
		: 'No channel is set up yet. Try the test items below.';
	streamElements.setConfigured(config.seConfigured === true);
	ads.setLength(config.adLength);
	settings.applyConfig(config);
}

new FeedStream()
	.on('config', applyConfig)
	.on('status', (s) => header.setStatus(s))
	.on('viewers', (v) => header.setViewers(v))
	.on('message-in', showMessage)
	.on('activity', showActivity)
	.on('recent', (r) => replayRecent(r, { 'message-in': showMessage, activity: showActivity }))
	.onState((state) => header.setStream(state))
	.start();
