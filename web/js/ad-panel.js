import { post, isOk, errorText } from './api.js';
import { adReplyText } from './describe.js';
import { Feedback } from './feedback.js';

// Starting and snoozing Twitch ad breaks ("/api/ads"). The length is the one
// configured in the settings; the plug-in uses it too when none is sent.

export class AdPanel {
	constructor(root) {
		this.start = root.querySelector('.ad-start');
		this.snooze = root.querySelector('.ad-snooze');
		this.feedback = new Feedback(root.querySelector('.ad-feedback'), { okMs: 8000 });
		this.length = 60;
		this.start.addEventListener('click', () => this.run('start', this.start));
		this.snooze.addEventListener('click', () => this.run('snooze', this.snooze));
		this.setLength(60);
	}

	setLength(seconds) {
		if (Number.isInteger(seconds) && seconds > 0) this.length = seconds;
		this.start.textContent = `Start ad (${this.length} s)`;
	}

	async run(action, button) {
		button.disabled = true;
		const reply = await post('ads', action === 'start' ? { action, length: this.length } : { action });
		button.disabled = false;
		if (isOk(reply)) this.feedback.say(adReplyText(action, reply) || 'Done');
		else this.feedback.say(errorText(reply), 'error');
	}
}
