import { el, icon } from './dom.js';
import { formatCount } from './format.js';

// The header both docks share: one row per platform with its link state, the
// state's detail text and the live viewer count, plus a bar that appears
// while the page has lost its event stream. Twitch and TikTok always have a
// row; Kick and YouTube only while a channel of theirs is set up.

const PLATFORMS = [
	{ key: 'twitch', label: 'Twitch', always: true },
	{ key: 'tiktok', label: 'TikTok', always: true },
	{ key: 'kick', label: 'Kick' },
	{ key: 'youtube', label: 'YouTube' },
];
const STATES = new Set(['disabled', 'connecting', 'connected', 'offline', 'retry', 'error']);
const compact = new Intl.NumberFormat('en-US', { notation: 'compact', maximumFractionDigits: 1 });

export function viewerText(value) {
	if (typeof value !== 'number' || !Number.isFinite(value) || value < 0) return '–';
	return value >= 100000 ? compact.format(value) : formatCount(value);
}

export class LinkHeader {
	constructor(container) {
		this.container = container;
		this.rows = new Map();
		this.lastStatus = {};
		this.lastViewers = {};
		container.classList.add('links');
		for (const platform of PLATFORMS) if (platform.always) this.addRow(platform);
		this.banner = el('div', 'stream-down', 'Reconnecting to Vanteo…');
		this.banner.setAttribute('role', 'status');
		this.banner.hidden = true;
		container.after(this.banner);
		this.setViewers({ twitch: null, tiktok: null });
	}

	addRow({ key, label }) {
		const row = el('div', 'link plat-' + key);
		row.dataset.platform = key;
		row.dataset.state = 'disabled';
		const dot = el('span', 'dot');
		const state = el('span', 'state', 'disabled');
		const detail = el('span', 'detail', 'Not configured');
		const viewers = el('span', 'viewers');
		const count = el('span', 'viewer-count', '–');
		viewers.append(icon('eye', 'icon eye'), count);
		row.append(dot, el('span', 'pname', label), state, detail, viewers);
		// Rows keep the order of PLATFORMS whichever comes first.
		const order = PLATFORMS.findIndex((p) => p.key === key);
		const next = [...this.rows.entries()].find(([k]) => PLATFORMS.findIndex((p) => p.key === k) > order);
		this.container.insertBefore(row, next ? next[1].row : null);
		this.rows.set(key, { row, label, state, detail, viewers, count });
	}

	// The page's "config": the rows of the optional platforms follow their
	// channel names.
	setChannels(config) {
		if (!config || typeof config !== 'object') return;
		for (const platform of PLATFORMS) {
			if (platform.always) continue;
			const wanted = typeof config[platform.key] === 'string' && config[platform.key] !== '';
			const parts = this.rows.get(platform.key);
			if (wanted && !parts) {
				this.addRow(platform);
				this.setStatus(this.lastStatus);
				this.setViewers(this.lastViewers);
			} else if (!wanted && parts) {
				parts.row.remove();
				this.rows.delete(platform.key);
			}
		}
	}

	// {"twitch":{"state":..,"detail":..},"tiktok":{...},"kick":..,"youtube":..}
	setStatus(status) {
		if (status && typeof status === 'object') this.lastStatus = status;
		for (const [key, parts] of this.rows) {
			const link = status && status[key];
			if (!link || typeof link !== 'object') continue;
			const state = STATES.has(link.state) ? link.state : 'disabled';
			const detail = typeof link.detail === 'string' ? link.detail : '';
			parts.row.dataset.state = state;
			parts.state.textContent = state;
			parts.detail.textContent = detail;
			parts.row.title = `${parts.label}: ${state}${detail ? ' · ' + detail : ''}`;
		}
	}

	// {"twitch":N|null,"tiktok":N|null,...}; null means unknown (or not live).
	setViewers(viewers) {
		if (viewers && typeof viewers === 'object') this.lastViewers = { ...this.lastViewers, ...viewers };
		for (const [key, parts] of this.rows) {
			if (!viewers || !(key in viewers)) continue;
			const value = viewers[key];
			const known = typeof value === 'number' && value >= 0;
			parts.count.textContent = viewerText(value);
			parts.viewers.classList.toggle('unknown', !known);
			parts.viewers.title = known
				? `${parts.label}: ${formatCount(value)} watching`
				: `${parts.label}: viewer count unknown`;
		}
	}

	// 'open', 'connecting', 'down' or 'idle' from the event stream.
	setStream(state) {
		this.banner.hidden = state !== 'down';
	}
}
