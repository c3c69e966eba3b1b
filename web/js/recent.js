// The recent history the hub sends after the snapshot when a stream opens:
// one "recent" event per chat line or item, oldest first,
// {"kind":"message-in"|"activity"|"clear","key":..,"deleted":bool,"item":{..}}.
// Every page gets them whenever any page opens its stream, so a page skips
// the ones it already shows: it remembers the keys (ids) of what it showed.

const MAX_KEYS = 2000;

export class SeenKeys {
	constructor(max = MAX_KEYS) {
		this.max = max;
		this.keys = new Set();
	}

	has(key) {
		return typeof key === 'string' && key !== '' && this.keys.has(key);
	}

	add(key) {
		if (typeof key !== 'string' || key === '' || this.keys.has(key)) return;
		this.keys.add(key);
		// A Set iterates in insertion order: the oldest key goes first.
		if (this.keys.size > this.max) this.keys.delete(this.keys.values().next().value);
	}
}

// Shows one "recent" entry through the page's own handler for its kind
// (each handler remembers the key it shows); `strike` marks a line a
// moderator removed, on the pages that show removals.
export function replayRecent(entry, seen, handlers, strike = null) {
	if (!entry || typeof entry !== 'object' || !entry.item || typeof entry.item !== 'object') return;
	const handler = Object.prototype.hasOwnProperty.call(handlers, entry.kind) ? handlers[entry.kind] : null;
	if (!handler || seen.has(entry.key)) return;
	seen.add(entry.key);
	const node = handler(entry.item);
	if (entry.deleted === true && strike && node && node.nodeType === 1) strike(node);
}
