#pragma once

#include <functional>

// A stretch of work on one thread whose outgoing events may leave together,
// such as the lines of one chat message. While a Burst lives on a thread, a
// sender that batches (the local server's broadcast) keeps what the thread
// sends and asks through atEnd to be called back when the outermost Burst
// ends, and then sends it all at once: a burst costs one write per page
// instead of one per event. Bursts nest.
//
// Threads: all state is per thread; a Burst ends on the thread that began it.
// What atEnd registers must stay valid until then (the local server outlives
// the connection workers that open bursts).
namespace vanteo {

class Burst {
public:
	Burst();
	// The outermost one runs the registered callbacks in order; nothing they
	// throw leaves it.
	~Burst();
	Burst(const Burst &) = delete;
	Burst &operator=(const Burst &) = delete;

	// Whether the calling thread is inside a burst.
	static bool active();
	// Runs `flush` when the calling thread's outermost burst ends; at once
	// when it is in none.
	static void atEnd(std::function<void()> flush);
};

} // namespace vanteo
