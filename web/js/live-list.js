// A scrolling list that receives items live and keeps at most `max` of them,
// so that a busy chat cannot slow the dock down. The newest item sits at the
// bottom (chat) or at the top (activity). While the view shows the newest end
// it follows new items; once the reader scrolls away it stays where it is
// (items added or dropped above the view are compensated) and the jump button
// offers a way back, with the number of items that came in meanwhile.
//
// Browser scroll anchoring is switched off for the list in CSS, because it
// would move the view a second time on top of the compensation done here.
//
// Items are put in place once per animation frame, all that came in since
// the last one together: a flood then costs one layout a frame instead of
// one per item. With `gap` (ms), a list that was just updated waits that
// long before the next update, so that a flood costs a layout and a paint
// of the list every `gap` instead of every frame; the first item after a
// quiet spell still shows in the next frame. While the page is hidden no
// frame comes; of the items that wait, only as many are kept as the list
// could hold.
//
// An item may also be added as a function that makes it: it is then made
// only when the list takes it in, so that items that would be cut at once
// (a flood faster than the frames, a hidden page) are never drawn.

const NEAR_PX = 24;

export class LiveList {
	// `prepare` sees each item as it is added (the chat's filter), `dropped`
	// the items cut from the list's old end.
	constructor(container, { max = 300, slack = 0, newestAt = 'bottom', jumpButton = null, prepare = null, dropped = null, gap = 0 } = {}) {
		this.box = container;
		this.prepare = prepare;
		this.dropped = dropped;
		this.max = max;
		this.slack = slack;
		this.bottom = newestAt === 'bottom';
		this.jump = jumpButton;
		this.follow = true;
		this.unseen = 0;
		this.autoTop = null;
		this.pending = [];
		this.incoming = 0;
		this.frame = 0;
		this.timer = 0;
		this.gap = gap;
		this.flushedAt = -Infinity;

		this.box.addEventListener('scroll', () => this.onScroll(), { passive: true });
		// In a busy chat the next item would scroll back to the newest end
		// before the reader's own scroll event is seen, so a wheel turn or key
		// towards older items stops following at once.
		this.box.addEventListener('wheel', (e) => (this.bottom ? e.deltaY < 0 : e.deltaY > 0) && this.pause(), {
			passive: true,
		});
		this.box.addEventListener('keydown', (e) => {
			const back = this.bottom ? ['ArrowUp', 'PageUp', 'Home'] : ['ArrowDown', 'PageDown', 'End'];
			if (back.includes(e.key)) this.pause();
		});
		// Images (emotes, badges) grow lines after they were placed.
		this.box.addEventListener('load', () => this.keepNewestInView(), true);
		if (typeof ResizeObserver === 'function') {
			new ResizeObserver(() => this.keepNewestInView()).observe(this.box);
		}
		if (this.jump) {
			this.jump.hidden = true;
			this.jump.addEventListener('click', () => this.showNewest());
		}
	}

	get size() {
		return this.box.children.length + this.pending.length;
	}

	items() {
		this.flush();
		return Array.from(this.box.children);
	}

	add(item) {
		const node = typeof item === 'function' ? null : item;
		if (node && this.prepare) this.prepare(node);
		this.pending.push(item);
		this.incoming += 1;
		if (this.pending.length > this.max * 1.5) this.discard([this.pending.shift()]);
		this.schedule();
		return node;
	}

	schedule() {
		if (this.frame || this.timer) return;
		const wait = this.flushedAt + this.gap - performance.now();
		if (wait > 1) {
			this.timer = setTimeout(() => {
				this.timer = 0;
				this.schedule();
			}, wait);
		} else {
			this.frame = requestAnimationFrame(() => this.flush());
		}
	}

	cancel() {
		if (this.frame) cancelAnimationFrame(this.frame);
		if (this.timer) clearTimeout(this.timer);
		this.frame = this.timer = 0;
	}

	// Puts the waiting items in place now.
	flush() {
		this.cancel();
		let items = this.pending;
		const count = this.incoming;
		this.pending = [];
		this.incoming = 0;
		// Following, the list keeps only the newest `max` of them.
		if (this.follow && items.length > this.max) {
			this.discard(items.slice(0, items.length - this.max));
			items = items.slice(items.length - this.max);
		}
		const nodes = items.map((item) => this.make(item)).filter(Boolean);
		if (nodes.length) {
			this.flushedAt = performance.now();
			const batch = document.createDocumentFragment();
			if (this.bottom) {
				batch.append(...nodes);
				this.box.append(batch);
			} else {
				batch.append(...nodes.reverse());
				if (this.follow) {
					this.box.prepend(batch);
				} else {
					const before = this.box.scrollHeight;
					this.box.prepend(batch);
					this.box.scrollTop += this.box.scrollHeight - before;
				}
			}
			this.trim();
		}
		if (this.follow) {
			this.scrollToNewest();
		} else if (count) {
			this.unseen += count;
			this.updateJump();
		}
	}

	// Removes one item; when it sat above the reader's view, the view is
	// kept where it is.
	remove(node) {
		this.flush();
		if (node.parentNode !== this.box) return;
		if (!this.follow && this.isAboveView(node)) {
			const before = this.box.scrollHeight;
			node.remove();
			this.box.scrollTop -= before - this.box.scrollHeight;
		} else {
			node.remove();
		}
	}

	clear() {
		this.cancel();
		this.pending = [];
		this.incoming = 0;
		this.box.replaceChildren();
		this.unseen = 0;
		this.follow = true;
		this.updateJump();
	}

	// Drops the oldest items beyond `max`, and `slack` more at once while
	// the list follows: a cut moves all the items that stay, which then have
	// to be painted again, so a flood pays for it every so many updates
	// only. While the reader is scrolled back, only items outside the view
	// go, so the lines being read stay put; the list may then grow up to half
	// as much again before it is cut anyway.
	trim() {
		const kids = this.box.children;
		const excess = kids.length - this.max;
		if (excess <= 0) return;
		let count = Math.min(kids.length, excess + this.slack);
		if (!this.follow) {
			count = 0;
			if (this.bottom) while (count < excess && this.isAboveView(kids[count])) count++;
			else while (count < excess && this.isBelowView(kids[kids.length - 1 - count])) count++;
			if (kids.length - count > this.max * 1.5) count = excess;
		}
		if (count === 0) return;
		const oldest = this.bottom
			? Array.from(kids).slice(0, count)
			: Array.from(kids).slice(kids.length - count);
		// Reading the height costs a layout; only a reader's view needs it.
		const keepView = this.bottom && !this.follow;
		const before = keepView ? this.box.scrollHeight : 0;
		for (const node of oldest) node.remove();
		if (keepView) this.box.scrollTop -= before - this.box.scrollHeight;
		this.drop(oldest);
	}

	drop(nodes) {
		if (this.dropped) this.dropped(nodes);
	}

	// Waiting items that will not be shown: only those already made count
	// as dropped.
	discard(items) {
		const made = items.filter((item) => typeof item !== 'function');
		if (made.length) this.drop(made);
	}

	make(item) {
		if (typeof item !== 'function') return item;
		try {
			const node = item();
			if (node && this.prepare) this.prepare(node);
			return node;
		} catch (e) {
			// One faulty item must not cost the others their place.
			console.error('vanteo: a list item could not be made', e);
			return null;
		}
	}

	isAboveView(node) {
		return node.offsetTop + node.offsetHeight <= this.box.scrollTop + 1;
	}

	isBelowView(node) {
		return node.offsetTop >= this.box.scrollTop + this.box.clientHeight - 1;
	}

	distanceFromNewest() {
		const b = this.box;
		return this.bottom ? b.scrollHeight - b.clientHeight - b.scrollTop : b.scrollTop;
	}

	scrollToNewest() {
		const b = this.box;
		b.scrollTop = this.bottom ? b.scrollHeight : 0;
		this.autoTop = b.scrollTop;
	}

	keepNewestInView() {
		if (this.follow) this.schedule();
	}

	showNewest() {
		this.follow = true;
		this.unseen = 0;
		this.flush();
		this.trim();
		this.scrollToNewest();
		this.updateJump();
	}

	pause() {
		if (!this.follow) return;
		this.follow = false;
		this.autoTop = null;
		this.updateJump();
	}

	onScroll() {
		// Our own scrolling reports back here too; only a move by the reader
		// decides whether the list keeps following.
		if (this.autoTop !== null && Math.abs(this.box.scrollTop - this.autoTop) < 2) return;
		this.autoTop = null;
		const near = this.distanceFromNewest() <= NEAR_PX;
		if (near !== this.follow) {
			this.follow = near;
			if (near) this.unseen = 0;
			this.updateJump();
		}
	}

	updateJump() {
		if (!this.jump) return;
		this.jump.hidden = this.follow;
		const label = this.jump.querySelector('.jump-count');
		if (label) label.textContent = this.unseen > 0 ? ` (${this.unseen > 99 ? '99+' : this.unseen})` : '';
	}
}
