#pragma once

#include "platform/socket_worker.h"
#include "twitch/helix.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// Polls Helix for the configured channel's live viewer count (once a minute,
// and at once when asked) and its pinned message (every 20 seconds), and
// reports both through slots, like every connection.
//
// Threads: start, pollNow, requestStop and stop come from the owner's
// threads; the target source and the slots are called on the poller's own
// thread, never under a lock of its own.
namespace vanteo {

class TwitchChannelPoller {
public:
	// The product's rhythm; tests shorten it.
	struct Timing {
		std::chrono::milliseconds viewerPoll{60000}; // live count
		std::chrono::milliseconds pinsPoll{20000};   // pinned message
	};
	// What to poll, read before every poll: the account's Helix context
	// (broadcasterId "" while unknown) and the configured channel's login.
	struct Target {
		HelixContext helix;
		std::string channel;
	};
	using TargetSource = std::function<Target()>;
	// The live count: 0 while offline, -1 without an account or channel.
	using ViewersSink = std::function<void(int64_t count)>;
	// Twitch's answer about the pinned message, as it came.
	using PinsSink = std::function<void(const std::string &json)>;

	TwitchChannelPoller(TargetSource target, ViewersSink viewers, PinsSink pins, Timing timing);

	void start();
	// Polls the count at the next tick (after an account or channel change).
	void pollNow()
	{
		m_pollNow = true;
		m_worker.wake();
	}
	void requestStop() { m_worker.requestStop(); }
	void stop() { m_worker.stop(); }

private:
	void run();
	// failureLogged: one warning per run of failed polls.
	void pollViewers(bool &failureLogged);
	void pollPins();

	TargetSource m_target;
	ViewersSink m_viewers;
	PinsSink m_pins;
	const Timing m_timing;
	std::atomic<bool> m_pollNow{true};
	platform::SocketWorker m_worker{"Twitch poller"};
};

} // namespace vanteo
