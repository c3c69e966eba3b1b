// The recent history the hub sends after the snapshot when a stream opens:
// one "recent" event per chat line or item, oldest first,
// {"kind":"message-in"|"activity"|"clear","key":..,"deleted":bool,"item":{..}}.
// Every page gets them whenever any page opens its stream, and an item may
// reach a page both live and from the history, so the pages show each key
// (id) once: their handlers ask `SeenKeys.first` before showing anything.

const MAX_KEYS = 2000;

export class SeenKeys {
	constructor(max = MAX_KEYS) {
		this.max = max;
		this.keys = new Set();
	}

	// True the first time `key` comes; items without a key always count.
	first(key) {
		if (typeof key !== 'string' || key === '') return true;
		if (this.keys.has(key)) return false;
		this.keys.add(key);
		// A Set iterates in insertion order: the oldest key goes first.
		if (this.keys.size > this.max) this.keys.delete(this.keys.values().next().value);
		return true;
	}
}

// Shows one "recent" entry through the page's own handler for its kind;
// `strike` marks a line a moderator removed, on the pages that show removals.
export function replayRecent(entry, handlers, strike = null) {
	if (!entry || typeof entry !== 'object' || !entry.item || typeof entry.item !== 'object') return;
	const handler = Object.prototype.hasOwnProperty.call(handlers, entry.kind) ? handlers[entry.kind] : null;
	if (!handler) return;
	const node = handler(entry.item);
	if (entry.deleted === true && strike && node && node.nodeType === 1) strike(node);
}
