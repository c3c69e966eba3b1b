#pragma once

#include "feed/chat_message.h"
#include "feed/link_status.h"
#include "http/local_server.h"
#include "hub/recent_history.h"
#include "hub/settings.h"
#include "hub/sign_in_states.h"
#include "twitch/channel_poller.h"
#include "twitch/helix.h"

#include <memory>

#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// The hub: owns the local server, the platform connections, the stored
// settings and the caches the pages read. Platform connections report to it
// through the slots below; it turns every report into JSON and broadcasts it
// on the event stream. Every control API request reaches it through the
// server's request handler.
//
// Threads: construction, `shutdown` and everything touching widgets run on
// the GUI thread, which never waits for the network here. The
// slots run on the connection threads that call them, the request handler and
// snapshot on server connection threads. Lock order: m_applyLock, m_workerLock,
// m_eventSubLock, then m_lock, then the server's connection lock, never the
// reverse.
namespace vanteo {

class TwitchChatReader;
class ThirdPartyEmoteLoader;
class TikTokClient;
class KickClient;
class YouTubeClient;
class EventSubSession;
struct HeldMessage;

class ChatDock : public QWidget {
public:
	// How changed viewer counts reach the pages: the product's values;
	// tests change them.
	struct ViewerEventTiming {
		std::chrono::milliseconds tick{100};       // after a change, how often it is looked at
		std::chrono::milliseconds gap{1000};       // between "viewers" events
		std::chrono::milliseconds demoHold{10000}; // demo numbers stay this long
	};
	// The control API: the reply to one POST under "/api/" (server/router.h).
	using ControlApi = std::string (*)(ChatDock &hub, const std::string &path, const std::string &body);

	struct Options {
		uint16_t firstPort = 18763;
		// Answers the pages' requests; without it every request gets
		// {"error":"Unknown request"}.
		ControlApi controlApi = nullptr;
		TwitchChannelPoller::Timing twitchPolls;
		ViewerEventTiming viewerEvents;
		LocalServer::Limits server;
		// After Twitch did not answer about a stored token: the first wait
		// before asking again, doubled each time up to the longest.
		std::chrono::milliseconds accountRetry{30000};
		std::chrono::milliseconds accountRetryMax{600000};
		std::chrono::milliseconds signInLifetime{600000}; // a sign-in's state
	};

	// Life, the widget and the event stream (hub/chat_dock.cpp).
	explicit ChatDock(QWidget *parent = nullptr);
	explicit ChatDock(Options options, QWidget *parent = nullptr);
	~ChatDock() override;
	void shutdown();
	void broadcast(const std::string &event, const std::string &data);
	// Runs `call` on the GUI thread later; never waits.
	void postToGui(std::function<void()> call);
	uint16_t port() const { return m_port; }
	std::string token() const { return m_server.token(); }
	LocalServer &server() { return m_server; }

	// Updater hooks, set by the module after construction (a page may ask
	// before that: it then gets "{}").
	void setUpdateHooks(std::function<std::string()> status, std::function<void(const std::string &)> action);
	std::string updateStatusJson();
	void runUpdateAction(const std::string &action);

	// The Setup and Updates windows, which the module shows (set by its
	// browser panels; empty before and after them). GUI thread only: the
	// routes post their calls there.
	struct WindowHooks {
		std::function<void()> showSetup;
		std::function<void()> hideSetup;
		std::function<void()> hideUpdates;
	};
	void setWindowHooks(WindowHooks hooks);
	WindowHooks windowHooks();

	// Slots of the platform connections, and the events they become
	// (hub/slots.cpp).
	void onMessage(const ChatMessage &message);
	// A Twitch chat line: third-party emotes are found in it first.
	void onTwitchLine(const ChatMessage &message);
	void onLinkStatus(Platform platform, const LinkStatus &status);
	void onClear(Platform platform, const std::string &id, const std::string &userId, const std::string &name,
		     const std::string &duration);
	void onTikTokViewers(int64_t count);
	void onKickViewers(int64_t count);
	void onYouTubeViewers(int64_t count);
	void onTwitchViewers(int64_t count);
	void onTwitchPins(const std::string &json);
	void onActivity(const std::string &json);
	void onHighlight(const std::string &json);
	void onHeld(const HeldMessage &held);
	void statusJson();
	void viewersJson();
	void setViewerCount(Platform platform, int64_t count);
	bool viewersChanged();
	void requestDemoViewers();
	// What a page gets when it opens its stream.
	void sendSnapshot();

	// Settings and account (hub/config.cpp); each accessor takes the hub
	// lock.
	void loadConfig();
	void saveConfig();
	void publishConfig();
	// (Re)starts every connection from the settings; calls are serialised,
	// so racing changes end with the last settings applied. No network
	// call on the calling thread.
	void applyChannels();
	bool needsSetup();
	Settings settings();
	TwitchAccount account();
	// What an account-bound request works with, copied under the hub lock:
	// the account, the client id in force and the cached broadcaster id (""
	// until looked up), and the Twitch channel.
	struct AccountContext {
		HelixContext helix;
		std::string channel;
	};
	AccountContext accountContext();
	// Stores the id looked up for `channel`, unless the channel changed
	// meanwhile.
	void setBroadcasterId(const std::string &channel, const std::string &id);
	// Stores the client id typed by the user (ignored with a built-in one).
	void setClientId(const std::string &clientId);
	// Replaces the account after a sign-in; an empty Twitch channel becomes
	// the account's login. True when the channel was filled in that way.
	bool connectAccount(const TwitchAccount &account);
	// The sign-ins this hub started (the state Twitch hands back).
	SignInStates &signIns() { return m_signIns; }
	std::string emoteCache();
	void setEmoteCache(const std::string &json);
	void setChannels(const std::string &twitch, const std::string &tiktok, const std::string &youtube,
			 const std::string &kick);
	void markSetupDone();
	void setFeedConfig(const std::string &seToken, int64_t adLength);
	void setHighlightWords(const std::string &words);
	// Turns 7TV, BetterTTV and FrankerFaceZ emotes on or off (not saved).
	void setThirdPartyEmotes(bool on);
	// The picker's catalogue with the third-party groups added.
	std::string withThirdPartyGroups(const std::string &catalog);
	// StreamElements token and channel id cache, copied under the hub lock.
	void streamElements(std::string &token, std::string &channelId);
	// Stores the channel id found for `token`, unless the token was replaced
	// meanwhile (the id belongs to the old token's account then).
	void rememberStreamElementsChannel(const std::string &token, const std::string &channelId);

	// Restarts the account worker (and with it EventSub), see below
	// (hub/account_worker.cpp).
	void refreshAccount();

private:
	void registerBadges();
	std::string configJsonLocked();

	std::mutex m_hookLock; // guards the two updater hooks and the window hooks
	std::function<std::string()> m_updateStatus;
	std::function<void(const std::string &)> m_updateAction;
	WindowHooks m_windowHooks;

	std::map<std::string, std::string> m_highlights; // under m_lock
	std::string m_pins;                              // under m_lock
	RecentHistory m_history;                         // under m_lock
	uint64_t m_historyKeys = 0;                      // under m_lock: numbers the keys the hub makes

	LocalServer m_server;
	uint16_t m_port = 0;

	std::mutex m_applyLock; // serialises applyChannels
	std::mutex m_saveLock;  // serialises saves: one writer of config.json and its temporary file
	SignInStates m_signIns;

	std::mutex m_lock; // guards everything below up to the flags
	Settings m_settings;
	// A token read from config.json counts once Twitch confirms it (the
	// account worker asks); until then login and user id are empty.
	TwitchAccount m_account;
	std::string m_accountNote; // why the stored account is not confirmed yet
	std::string m_broadcasterId;
	std::string m_seChannelId;
	std::string m_emoteCache;
	LinkStatus m_links[kPlatformCount];                   // by Platform
	int64_t m_viewers[kPlatformCount] = {-1, -1, -1, -1}; // by Platform; -1: unknown
	bool m_viewersChanged = false;

	// The account worker, restarted after every account or channel change
	// (one at a time; a restart aborts the running one): confirms a stored
	// token with Twitch (asking again later while Twitch does not answer),
	// finds the broadcaster id, starts EventSub, loads the channel's badges
	// and emotes. Its requests end when m_accountRun is cleared.
	// m_workerLock guards the thread object.
	void accountWorker(TwitchAccount account, std::string clientId, std::string channel);
	// Asks Twitch about an unconfirmed token until it answers; false when
	// the account is gone (refused or replaced) or the worker stopped.
	bool confirmAccount(TwitchAccount &account);
	void startEventSub(const HelixContext &ctx);
	void stopEventSub();
	// Clears m_accountRun and ends the worker's retry wait (any thread).
	void endAccountRun();
	std::mutex m_workerLock;
	std::thread m_accountWorker;
	std::atomic<bool> m_accountRun{false};
	std::mutex m_accountWaitLock; // m_accountRun is cleared under it; pairs with m_accountWake
	std::condition_variable m_accountWake;
	bool m_workersClosed = false; // under m_workerLock
	std::chrono::milliseconds m_accountRetry;
	std::chrono::milliseconds m_accountRetryMax;

	// The EventSub session; m_eventSubLock serialises its restarts.
	std::mutex m_eventSubLock;
	std::unique_ptr<EventSubSession> m_eventSub;
	bool m_eventSubClosed = false; // under m_eventSubLock
	std::string m_automodDetail;   // under m_lock: the last AutoMod status, for new pages
	// Held messages without a decision yet, oldest first (id, JSON); under m_lock.
	static constexpr size_t kMaxPendingHeld = 200;
	std::deque<std::pair<std::string, std::string>> m_pendingHeld;

	std::unique_ptr<TwitchChatReader> m_twitchReader;
	// Third-party emote sets of the channel; Twitch lines are matched
	// against its index on the chat reader's thread, outside m_lock.
	std::unique_ptr<ThirdPartyEmoteLoader> m_thirdParty;
	std::string m_appliedTwitch; // under m_applyLock: the channel the reader was last started on
	std::unique_ptr<TikTokClient> m_tiktok;
	std::unique_ptr<KickClient> m_kick;
	std::unique_ptr<YouTubeClient> m_youtube;

	std::unique_ptr<TwitchChannelPoller> m_twitchPoller;

	// The viewer events thread: sends changed viewer counts at most once per
	// gap, and holds demo numbers for a while (hub/viewer_events.cpp). Runs
	// while m_running is set; shutdown clears it under m_wakeLock and
	// notifies m_wake, which ends the thread's wait at once.
	void viewerEventsLoop();
	// Tells the thread that a count may have changed (any thread; not under m_wakeLock).
	void pokeViewerEvents();
	ViewerEventTiming m_viewerEventTiming;
	std::thread m_viewerEvents;
	std::mutex m_wakeLock; // guards m_viewersPoked; pairs with m_wake
	std::condition_variable m_wake;
	bool m_viewersPoked = false;
	std::atomic<bool> m_running{false};
	std::atomic<bool> m_demoViewers{false};
	bool m_shutDown = false;
};

} // namespace vanteo
