#pragma once

#include "platform/socket_worker.h"
#include "twitch/third_party_emotes.h"

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Loads the third-party emote sets (7TV, BetterTTV, FrankerFaceZ) of the
// Twitch channel being read, and keeps the index that chat lines are matched
// against. Each provider has its own worker thread, so one that fails or
// stalls leaves the others (and the chat) untouched; a worker loads its
// global set and the channel's, then sleeps until a refresh is due. Channel
// sets are cached per channel for a while, so going back to a channel shows
// its emotes at once.
//
// Threads: setRoom, setEnabled and stop come from the owner's threads (the
// chat reader's sink among them) and are serialised; they restart or stop
// the workers, whose requests end within about 100 ms of being told
// (platform/https.h). index() may be called from any thread.
namespace vanteo {

class ThirdPartyEmoteLoader {
public:
	struct Timing {
		std::chrono::milliseconds refresh{std::chrono::minutes(30)}; // after a set loaded
		std::chrono::milliseconds retry{std::chrono::minutes(2)};    // after a failed request
	};

	ThirdPartyEmoteLoader() : ThirdPartyEmoteLoader(Timing()) {}
	explicit ThirdPartyEmoteLoader(Timing timing);
	~ThirdPartyEmoteLoader() { stop(); }
	ThirdPartyEmoteLoader(const ThirdPartyEmoteLoader &) = delete;
	ThirdPartyEmoteLoader &operator=(const ThirdPartyEmoteLoader &) = delete;

	// The channel's Twitch id. A new id restarts the workers; the same one
	// changes nothing; "" (no channel, or one not known yet) stops them and
	// leaves the global sets already loaded in the index.
	void setRoom(const std::string &roomId);
	// Off: the workers stop and the index empties; on: they start again.
	void setEnabled(bool on);
	// Tells the workers to end without waiting; stop also joins them. No
	// worker starts after stop.
	void requestStop();
	void stop();

	// What chat lines are matched against now (never null; empty while off
	// or before any set arrived).
	std::shared_ptr<const ThirdPartyEmoteIndex> index() const;

private:
	struct Loaded {
		std::vector<ThirdPartyEmote> emotes;
		std::chrono::steady_clock::time_point due{}; // next request
	};
	void restartWorkers();
	void run(EmoteProvider provider, const std::string &room);
	// One request and its reading; false when no usable answer came.
	bool fetch(EmoteProvider provider, const std::string &room, std::vector<ThirdPartyEmote> &out);
	void store(EmoteProvider provider, const std::string &room, bool ok, std::vector<ThirdPartyEmote> emotes);
	void rebuildLocked();

	const Timing m_timing;
	std::mutex m_control; // serialises setRoom, setEnabled and stop
	std::array<std::unique_ptr<platform::SocketWorker>, kEmoteProviderCount> m_workers;

	mutable std::mutex m_lock; // guards everything below
	std::string m_room;
	bool m_enabled = true;
	bool m_stopped = false;
	std::array<Loaded, kEmoteProviderCount> m_global;
	// Channel sets by channel id; the least recently used goes past 8.
	std::map<std::string, std::array<Loaded, kEmoteProviderCount>> m_channels;
	std::vector<std::string> m_channelOrder;
	std::shared_ptr<const ThirdPartyEmoteIndex> m_index;
};

} // namespace vanteo
