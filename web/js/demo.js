import { post, isOk, errorText } from './api.js';
import { el } from './dom.js';

// Buttons that ask the plug-in for made-up feed items of every kind it knows,
// so that the streamer can see how each looks. The items themselves arrive
// through the event stream like real ones; the reply only says whether the
// plug-in took the request.

export const DEMO_KINDS = [
	{ kind: 'follow', label: 'Follow' },
	{ kind: 'sub', label: 'Sub' },
	{ kind: 'resub', label: 'Resub' },
	{ kind: 'subgift', label: 'Gift sub' },
	{ kind: 'submysterygift', label: 'Mystery gift' },
	{ kind: 'raid', label: 'Raid' },
	{ kind: 'cheer', label: 'Cheer' },
	{ kind: 'viewers', label: 'Viewers', any: true },
	{ kind: 'ttgift', label: 'TikTok gift', tiktok: true },
	{ kind: 'ttfollow', label: 'TikTok follow', tiktok: true },
	{ kind: 'ttshare', label: 'TikTok share', tiktok: true },
];

export class DemoPanel {
	constructor(root) {
		this.grid = root.querySelector('.demo-buttons');
		this.nameInput = root.querySelector('.demo-name');
		this.feedback = root.querySelector('.demo-feedback');
		this.timer = 0;
		for (const item of DEMO_KINDS) {
			const platform = item.any ? 'plat-any' : item.tiktok ? 'plat-tiktok' : 'plat-twitch';
			const button = el('button', 'btn demo-btn ' + platform, item.label);
			button.type = 'button';
			button.dataset.kind = item.kind;
			button.addEventListener('click', () => this.send(item, button));
			this.grid.append(button);
		}
	}

	async send(item, button) {
		const body = { kind: item.kind };
		const name = this.nameInput.value.trim();
		if (name) body.name = name;
		button.disabled = true;
		const reply = await post('demo', body);
		button.disabled = false;
		if (isOk(reply)) this.say(`${item.label}: sent`, 'ok');
		else this.say(`${item.label}: ${errorText(reply)}`, 'error');
	}

	say(text, kind) {
		clearTimeout(this.timer);
		this.feedback.textContent = text;
		this.feedback.dataset.kind = kind;
		if (kind === 'ok') this.timer = setTimeout(() => (this.feedback.textContent = ''), 4000);
	}
}
