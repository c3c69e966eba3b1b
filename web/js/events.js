import { withToken } from './api.js';

// The live feed: one EventSource on "/api/events" carrying named events whose
// data is one JSON object. Each time a stream opens the server re-sends the
// current picture (config, status, viewers, ...) and then the recent chat
// lines and items (recent.js), so a reconnect loses only what fell out of
// that bounded history while the page was away.
//
// EventSource retries by itself after some failures but gives up for good on
// others (a refused connection while OBS restarts, a non-stream reply), so
// every error closes the source and a new one is opened after a short,
// growing pause. The pause starts again from the minimum once a stream opens.
export class FeedStream {
	constructor({ url = '/api/events', minDelay = 500, maxDelay = 8000 } = {}) {
		this.url = url;
		this.minDelay = minDelay;
		this.maxDelay = maxDelay;
		this.delay = minDelay;
		this.source = null;
		this.timer = 0;
		this.handlers = new Map();
		this.stateHandlers = [];
		this.state = 'idle';
	}

	on(name, handler) {
		const isNew = !this.handlers.has(name);
		if (isNew) this.handlers.set(name, []);
		this.handlers.get(name).push(handler);
		if (isNew && this.source) this.listen(this.source, name);
		return this;
	}

	// Called with 'connecting', 'open' or 'down'.
	onState(handler) {
		this.stateHandlers.push(handler);
		handler(this.state);
		return this;
	}

	start() {
		this.stopped = false;
		this.connect();
		return this;
	}

	stop() {
		this.stopped = true;
		clearTimeout(this.timer);
		if (this.source) this.source.close();
		this.source = null;
		this.setState('idle');
	}

	setState(state) {
		if (state === this.state) return;
		this.state = state;
		for (const handler of this.stateHandlers) handler(state);
	}

	connect() {
		if (this.stopped) return;
		this.setState(this.state === 'down' ? 'down' : 'connecting');
		const source = new EventSource(withToken(this.url));
		this.source = source;
		for (const name of this.handlers.keys()) this.listen(source, name);
		source.onopen = () => {
			this.delay = this.minDelay;
			this.setState('open');
		};
		source.onerror = () => {
			if (this.source !== source) return;
			source.close();
			this.source = null;
			this.setState('down');
			const wait = this.delay;
			this.delay = Math.min(this.maxDelay, this.delay * 2);
			this.timer = setTimeout(() => this.connect(), wait);
		};
	}

	listen(source, name) {
		source.addEventListener(name, (event) => {
			if (this.source !== source) return;
			let data;
			try {
				data = JSON.parse(event.data);
			} catch {
				console.warn(`vanteo: unreadable "${name}" event`);
				return;
			}
			this.dispatch(name, data);
		});
	}

	dispatch(name, data) {
		for (const handler of this.handlers.get(name) || []) {
			// One faulty handler must not stop the others or the stream.
			try {
				handler(data);
			} catch (e) {
				console.error(`vanteo: "${name}" handler failed`, e);
			}
		}
	}
}
