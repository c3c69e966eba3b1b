#include "hub/chat_dock.h"

#include "common/host.h"
#include "common/json.h"
#include "common/log.h"
#include "feed/badges.h"
#include "kick/kick_client.h"
#include "tiktok/tiktok_client.h"
#include "youtube/youtube_client.h"
#include "twitch/chat_reader.h"
#include "twitch/emote_providers.h"
#include "twitch/eventsub.h"

#include <QHBoxLayout>
#include <QMetaObject>

#include <system_error>

#include <util/base.h>

namespace vanteo {

ChatDock::ChatDock(QWidget *parent) : ChatDock(Options(), parent) {}

ChatDock::ChatDock(Options options, QWidget *parent)
	: QWidget(parent), m_server(options.server), m_signIns(options.signInLifetime),
	  m_accountRetry(options.accountRetry), m_accountRetryMax(options.accountRetryMax)
{
	setMinimumSize(240, 200);
	auto *layout = new QHBoxLayout(this);
	layout->setContentsMargins(0, 0, 0, 0);

	// Everything a page may reach is in place before the server takes its
	// first connection.
	m_server.setStreamClientHook([this] { sendSnapshot(); });
	registerBadges();
	Host *h = host();
	std::string webRoot = h ? h->dataPath("web") : std::string();
	const ControlApi api = options.controlApi;
	m_port =
	    m_server.start(webRoot, options.firstPort, [this, api](const std::string &path, const std::string &body) {
		    return api ? api(*this, path, body) : errorReply("Unknown request");
	    });

	m_thirdParty = std::make_unique<ThirdPartyEmoteLoader>();
	m_twitchReader = std::make_unique<TwitchChatReader>(
	    [this](const ChatMessage &m) { onTwitchLine(m); },
	    [this](Platform p, const LinkStatus &s) { onLinkStatus(p, s); },
	    [this](Platform p, const std::string &id, const std::string &userId, const std::string &name,
		   const std::string &duration) { onClear(p, id, userId, name, duration); });
	m_twitchReader->setRoomSink([this](const std::string &roomId) { m_thirdParty->setRoom(roomId); });
	m_tiktok = std::make_unique<TikTokClient>([this](const ChatMessage &m) { onMessage(m); },
						  [this](Platform p, const LinkStatus &s) { onLinkStatus(p, s); },
						  [this](int64_t count) { onTikTokViewers(count); });

	ChatSinks sinks;
	sinks.message = [this](const ChatMessage &m) {
		onMessage(m);
	};
	sinks.status = [this](Platform p, const LinkStatus &s) {
		onLinkStatus(p, s);
	};
	sinks.clear = [this](Platform p, const std::string &id, const std::string &userId, const std::string &name,
			     const std::string &duration) {
		onClear(p, id, userId, name, duration);
	};
	sinks.viewers = [this](int64_t count) {
		onKickViewers(count);
	};
	m_kick = std::make_unique<KickClient>(sinks);
	sinks.viewers = [this](int64_t count) {
		onYouTubeViewers(count);
	};
	m_youtube = std::make_unique<YouTubeClient>(sinks);

	m_eventSub = std::make_unique<EventSubSession>();
	m_twitchPoller = std::make_unique<TwitchChannelPoller>(
	    [this] {
		    AccountContext ctx = accountContext();
		    return TwitchChannelPoller::Target{std::move(ctx.helix), std::move(ctx.channel)};
	    },
	    [this](int64_t count) { onTwitchViewers(count); }, [this](const std::string &json) { onTwitchPins(json); },
	    options.twitchPolls);

	loadConfig();
	applyChannels();
	m_twitchPoller->start();
	m_viewerEventTiming = options.viewerEvents;
	m_running = true;
	try {
		m_viewerEvents = std::thread([this] { runGuarded("viewer events", [this] { viewerEventsLoop(); }); });
	} catch (const std::system_error &e) {
		logStopped("viewer events", e.what());
	}
}

ChatDock::~ChatDock()
{
	shutdown();
}

void ChatDock::registerBadges()
{
	for (const auto &badge : builtInBadgePngs())
		m_server.addResource("/badge/" + badge.first + ".png", "image/png", badge.second);
}

void ChatDock::setUpdateHooks(std::function<std::string()> status, std::function<void(const std::string &)> action)
{
	std::lock_guard<std::mutex> guard(m_hookLock);
	m_updateStatus = std::move(status);
	m_updateAction = std::move(action);
}

std::string ChatDock::updateStatusJson()
{
	std::function<std::string()> status;
	{
		std::lock_guard<std::mutex> guard(m_hookLock);
		status = m_updateStatus;
	}
	return status ? status() : std::string("{}");
}

void ChatDock::runUpdateAction(const std::string &action)
{
	std::function<void(const std::string &)> run;
	{
		std::lock_guard<std::mutex> guard(m_hookLock);
		run = m_updateAction;
	}
	if (run)
		run(action);
}

void ChatDock::setWindowHooks(WindowHooks hooks)
{
	std::lock_guard<std::mutex> guard(m_hookLock);
	m_windowHooks = std::move(hooks);
}

ChatDock::WindowHooks ChatDock::windowHooks()
{
	std::lock_guard<std::mutex> guard(m_hookLock);
	return m_windowHooks;
}

void ChatDock::shutdown()
{
	if (m_shutDown)
		return;
	m_shutDown = true;
	logLine(LOG_INFO, "shutdown: connections");
	// Every thread is told first, so that their aborts (each up to about a
	// second for a request in flight) run side by side.
	{
		std::lock_guard<std::mutex> guard(m_wakeLock);
		m_running = false;
	}
	m_wake.notify_all();
	endAccountRun();
	if (m_twitchPoller)
		m_twitchPoller->requestStop();
	if (m_twitchReader)
		m_twitchReader->requestStop();
	if (m_thirdParty)
		m_thirdParty->requestStop();
	if (m_tiktok)
		m_tiktok->requestStop();
	if (m_kick)
		m_kick->requestStop();
	if (m_youtube)
		m_youtube->requestStop();
	if (m_eventSub)
		m_eventSub->requestStop();
	// No more requests: the ones still running finish (their remote calls
	// aborted) before anything they reach goes away.
	m_server.stop();
	{
		// Nothing left may ask for a worker; the running one is aborted.
		std::lock_guard<std::mutex> workerGuard(m_workerLock);
		m_workersClosed = true;
		endAccountRun();
		if (m_accountWorker.joinable())
			m_accountWorker.join();
	}
	if (m_twitchPoller)
		m_twitchPoller->stop();
	if (m_viewerEvents.joinable())
		m_viewerEvents.join();
	{
		std::lock_guard<std::mutex> restartGuard(m_eventSubLock);
		m_eventSubClosed = true;
		if (m_eventSub)
			m_eventSub->stop();
	}
	m_twitchReader.reset();
	if (m_thirdParty)
		m_thirdParty->stop();
	m_tiktok.reset();
	m_kick.reset();
	m_youtube.reset();
	logLine(LOG_INFO, "shutdown complete");
}

void ChatDock::broadcast(const std::string &event, const std::string &data)
{
	m_server.broadcast(event, data);
}

void ChatDock::postToGui(std::function<void()> call)
{
	QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

} // namespace vanteo
