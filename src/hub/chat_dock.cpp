#include "hub/chat_dock.h"

#include "feed/badges.h"
#include "common/persisted_switch.h"
#include "common/json.h"
#include "common/log.h"
#include "common/host.h"
#include "platform/https.h"
#include "tiktok/tiktok_client.h"
#include "twitch/chat_reader.h"
#include "twitch/emotes.h"
#include "twitch/eventsub.h"
#include "twitch/irc_records.h"

#include <QHBoxLayout>
#include <QMetaObject>

#include <algorithm>
#include <system_error>

#include <obs-data.h>
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
	m_port = m_server.start(webRoot, options.firstPort,
				[this, api](const std::string &path, const std::string &body) {
					return api ? api(*this, path, body) : errorReply("Unknown request");
				});

	m_twitchReader = std::make_unique<TwitchChatReader>(
		[this](const ChatMessage &m) { onMessage(m); },
		[this](Platform p, const LinkStatus &s) { onLinkStatus(p, s); },
		[this](Platform p, const std::string &id, const std::string &userId, const std::string &name,
		       const std::string &duration) { onClear(p, id, userId, name, duration); });
	m_tiktok = std::make_unique<TikTokClient>([this](const ChatMessage &m) { onMessage(m); },
						  [this](Platform p, const LinkStatus &s) { onLinkStatus(p, s); },
						  [this](int64_t count) { onTikTokViewers(count); });

	m_eventSub = std::make_unique<EventSubSession>();
	m_twitchPoller = std::make_unique<TwitchChannelPoller>(
		[this] {
			AccountContext ctx = accountContext();
			return TwitchChannelPoller::Target{std::move(ctx.helix), std::move(ctx.channel)};
		},
		[this](int64_t count) { onTwitchViewers(count); },
		[this](const std::string &json) { onTwitchPins(json); }, options.twitchPolls);

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

void ChatDock::setUpdateHooks(std::function<std::string()> status,
			      std::function<void(const std::string &)> action)
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

void ChatDock::onMessage(const ChatMessage &message)
{
	m_server.broadcast("message-in", messageToJson(message));
}

void ChatDock::onLinkStatus(Platform platform, const LinkStatus &status)
{
	{
		std::lock_guard<std::mutex> guard(m_lock);
		LinkStatus &link = platform == Platform::Twitch ? m_twitchLink : m_tiktokLink;
		if (platform != Platform::Twitch &&
		    (link.state != status.state || link.detail != status.detail))
			logLine(LOG_INFO, "TikTok: %s (%s)", linkStateWord(status.state), status.detail.c_str());
		link = status;
	}
	if (platform != Platform::Twitch && status.state != LinkState::Connected) {
		std::lock_guard<std::mutex> guard(m_lock);
		if (m_tiktokViewers != -1) {
			m_tiktokViewers = -1;
			m_viewersChanged = true;
		}
	}
	statusJson();
}

void ChatDock::onClear(Platform platform, const std::string &id, const std::string &userId,
		       const std::string &name, const std::string &duration)
{
	m_server.broadcast("clear", clearEventJson(platform, id, userId, name, duration));
}

void ChatDock::onTikTokViewers(int64_t count)
{
	setViewerCount(Platform::TikTok, count);
}

void ChatDock::onTwitchViewers(int64_t count)
{
	setViewerCount(Platform::Twitch, count);
}

void ChatDock::onTwitchPins(const std::string &json)
{
	// An event's data must stay on one line of the event stream. Raw line
	// breaks in JSON are only ever blanks between tokens (those inside
	// strings are escaped), so turning them into spaces keeps the meaning.
	std::string pins = json;
	std::replace(pins.begin(), pins.end(), '\r', ' ');
	std::replace(pins.begin(), pins.end(), '\n', ' ');
	std::lock_guard<std::mutex> guard(m_lock);
	if (pins == m_pins)
		return;
	m_pins = std::move(pins);
	m_server.broadcast("pins", m_pins);
}

void ChatDock::onActivity(const std::string &json)
{
	m_server.broadcast("activity", json);
}

void ChatDock::onHeld(const HeldMessage &held)
{
	const std::string json = heldMessageJson(held);
	std::lock_guard<std::mutex> guard(m_lock);
	// Messages still waiting for a decision are kept for pages that open
	// later (a reloaded dock would otherwise lose them); a decision, made
	// here or on Twitch, ends the wait. Bounded: the oldest go first.
	auto found = std::find_if(m_pendingHeld.begin(), m_pendingHeld.end(),
				  [&](const std::pair<std::string, std::string> &p) { return p.first == held.id; });
	if (found != m_pendingHeld.end())
		m_pendingHeld.erase(found);
	if (!held.resolved) {
		m_pendingHeld.emplace_back(held.id, json);
		if (m_pendingHeld.size() > kMaxPendingHeld)
			m_pendingHeld.pop_front();
	}
	m_server.broadcast("held", json);
}

void ChatDock::onHighlight(const std::string &json)
{
	std::string type = jsonField(json, "type");
	std::string kind = highlightKind(type);
	if (type.size() < 8)
		return;
	std::lock_guard<std::mutex> guard(m_lock);
	static const std::string end = ".end";
	if (type.size() > 4 && type.compare(type.size() - end.size(), end.size(), end) == 0)
		m_highlights.erase(kind);
	else
		m_highlights[kind] = json;
	m_server.broadcast("highlight", json);
}

void ChatDock::loadConfig()
{
	std::string path = configFilePath("config.json");
	Settings loaded;
	TwitchAccount stored;
	if (!readSettingsFile(path, loaded, stored))
		return;
	// A stored token counts once Twitch confirms it, which also brings the
	// login, user id and scopes (not stored). The account worker asks, off
	// this thread; until then the token is kept as it was read.
	std::lock_guard<std::mutex> guard(m_lock);
	m_settings = loaded;
	m_account = stored;
	m_accountNote = stored.token.empty() ? std::string() : "Checking the Twitch account";
}

void ChatDock::saveConfig()
{
	// One save at a time, each writing what it read: the last to write holds
	// the latest settings, and no two share the temporary file.
	std::lock_guard<std::mutex> saving(m_saveLock);
	Settings s;
	TwitchAccount a;
	{
		std::lock_guard<std::mutex> guard(m_lock);
		s = m_settings;
		a = m_account;
	}
	if (!ensureConfigFolder())
		return;
	if (!writeSettingsFile(configFilePath("config.json"), s, a))
		logLine(LOG_WARNING, "unable to save config.json");
}

std::string ChatDock::configJsonLocked()
{
	return configJson(m_settings, m_account, m_accountNote, gameCaptureSwitch().on(),
			  replayNotifySwitch().on(), !hasAllScopes(m_account));
}

void ChatDock::publishConfig()
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_server.broadcast("config", configJsonLocked());
}

void ChatDock::statusJson()
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_server.broadcast("status", statusObjectJson(m_twitchLink, m_tiktokLink));
}

void ChatDock::viewersJson()
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_viewersChanged = false;
	m_server.broadcast("viewers", viewersObjectJson(m_twitchViewers, m_tiktokViewers));
}

void ChatDock::applyChannels()
{
	std::lock_guard<std::mutex> applying(m_applyLock);
	std::string twitch;
	std::string tiktok;
	{
		std::lock_guard<std::mutex> guard(m_lock);
		twitch = m_settings.twitch;
		tiktok = m_settings.tiktok;
		m_broadcasterId.clear();
	}
	if (m_twitchReader)
		m_twitchReader->start(twitch);
	if (m_tiktok)
		m_tiktok->start(tiktok);
	refreshAccount();
	publishConfig();
	statusJson();
}

void ChatDock::refreshAccount()
{
	if (m_twitchPoller)
		m_twitchPoller->pollNow();
	std::lock_guard<std::mutex> workerGuard(m_workerLock);
	m_accountRun = false;
	if (m_accountWorker.joinable())
		m_accountWorker.join();
	stopEventSub();
	TwitchAccount account;
	std::string clientId;
	std::string channel;
	{
		std::lock_guard<std::mutex> guard(m_lock);
		account = m_account;
		clientId = effectiveClientId(m_settings.clientId);
		channel = m_settings.twitch;
		m_emoteCache.clear();
	}
	if (account.token.empty() || clientId.empty() || m_workersClosed)
		return;
	m_accountRun = true;
	try {
		m_accountWorker = std::thread([this, account, clientId, channel] {
			platform::AbortScope requests(m_accountRun);
			runGuarded("account worker", [&] { accountWorker(account, clientId, channel); });
		});
	} catch (const std::system_error &e) {
		m_accountRun = false;
		logStopped("account worker", e.what());
	}
}

// Without the channel's id the global badges and the account's own emotes
// still load; only the channel's are missing.
void ChatDock::accountWorker(TwitchAccount account, std::string clientId, std::string channel)
{
	if (account.userId.empty() && !confirmAccount(account))
		return;
	HelixContext ctx{account, clientId, std::string()};
	if (lookupUserId(ctx, channel, ctx.broadcasterId)) {
		setBroadcasterId(channel, ctx.broadcasterId);
		m_twitchPoller->pollNow();
		startEventSub(ctx);
	} else if (!channel.empty() && m_accountRun) {
		logLine(LOG_WARNING, "Twitch channel '%s' not found", channel.c_str());
	}
	if (!m_accountRun)
		return;
	loadBadges(ctx);
	std::string emotes;
	std::string error;
	if (m_accountRun && loadEmotes(ctx, emotes, error))
		setEmoteCache(emotes);
}

bool ChatDock::confirmAccount(TwitchAccount &account)
{
	using Clock = std::chrono::steady_clock;
	std::chrono::milliseconds wait = m_accountRetry;
	bool unansweredLogged = false;
	while (m_accountRun) {
		TwitchAccount confirmed = account;
		const TokenCheck check = validateToken(account.token, confirmed);
		if (!m_accountRun)
			return false;
		{
			std::lock_guard<std::mutex> guard(m_lock);
			// A sign-in meanwhile replaced the account: its own worker runs.
			if (m_account.token != account.token || !m_account.userId.empty())
				return false;
			if (check == TokenCheck::Valid) {
				m_account.login = confirmed.login;
				m_account.userId = confirmed.userId;
				m_account.scopes = confirmed.scopes;
				m_accountNote.clear();
			} else if (check == TokenCheck::Rejected) {
				m_account = TwitchAccount();
				m_accountNote.clear();
			} else {
				m_accountNote = "Twitch unreachable · account kept";
			}
		}
		if (check == TokenCheck::Valid) {
			logLine(LOG_INFO, "stored Twitch token accepted");
			publishConfig();
			account = confirmed;
			return true;
		}
		if (check == TokenCheck::Rejected) {
			// Only Twitch's own refusal drops the account.
			logLine(LOG_INFO, "stored Twitch token rejected, account cleared");
			publishConfig();
			return false;
		}
		if (!unansweredLogged) {
			logLine(LOG_INFO, "stored Twitch token not confirmed (Twitch unreachable · account kept)");
			publishConfig();
			unansweredLogged = true;
		}
		const Clock::time_point until = Clock::now() + wait;
		while (m_accountRun && Clock::now() < until)
			std::this_thread::sleep_for(std::chrono::milliseconds(100));
		wait = std::min(wait * 2, m_accountRetryMax);
	}
	return false;
}

void ChatDock::startEventSub(const HelixContext &ctx)
{
	std::lock_guard<std::mutex> restartGuard(m_eventSubLock);
	if (!m_eventSub || m_eventSubClosed || !m_accountRun)
		return;
	m_eventSub->start(
		ctx,
		[this](const HeldMessage &held) { onHeld(held); },
		[this](const std::string &detail) {
			std::lock_guard<std::mutex> guard(m_lock);
			m_automodDetail = "{\"detail\":" + jsonQuote(detail) + "}";
			m_server.broadcast("automod", m_automodDetail);
		},
		[this](const std::string &json) { onActivity(json); },
		[this](const std::string &json) { onHighlight(json); });
}

void ChatDock::stopEventSub()
{
	std::lock_guard<std::mutex> restartGuard(m_eventSubLock);
	if (m_eventSub)
		m_eventSub->stop();
}

void ChatDock::setViewerCount(Platform platform, int64_t count)
{
	std::lock_guard<std::mutex> guard(m_lock);
	int64_t &stored = platform == Platform::Twitch ? m_twitchViewers : m_tiktokViewers;
	if (stored != count) {
		stored = count;
		m_viewersChanged = true;
	}
}

bool ChatDock::viewersChanged()
{
	std::lock_guard<std::mutex> guard(m_lock);
	return m_viewersChanged;
}

void ChatDock::requestDemoViewers()
{
	m_demoViewers = true;
}

bool ChatDock::needsSetup()
{
	std::lock_guard<std::mutex> guard(m_lock);
	return !m_settings.setupDone && m_settings.twitch.empty() && m_settings.tiktok.empty() &&
	       m_settings.youtube.empty() && m_settings.kick.empty();
}

void ChatDock::sendSnapshot()
{
	publishConfig();
	statusJson();
	viewersJson();
	std::lock_guard<std::mutex> guard(m_lock);
	for (const auto &entry : m_highlights)
		m_server.broadcast("highlight", entry.second);
	if (!m_pins.empty())
		m_server.broadcast("pins", m_pins);
	// Not part of the original snapshot, but a page opened later would
	// otherwise never learn whether AutoMod reviews reach the dock.
	if (!m_automodDetail.empty())
		m_server.broadcast("automod", m_automodDetail);
	for (const auto &held : m_pendingHeld)
		m_server.broadcast("held", held.second);
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
	m_accountRun = false;
	if (m_twitchPoller)
		m_twitchPoller->requestStop();
	if (m_twitchReader)
		m_twitchReader->requestStop();
	if (m_tiktok)
		m_tiktok->requestStop();
	if (m_eventSub)
		m_eventSub->requestStop();
	// No more requests: the ones still running finish (their remote calls
	// aborted) before anything they reach goes away.
	m_server.stop();
	{
		// Nothing left may ask for a worker; the running one is aborted.
		std::lock_guard<std::mutex> workerGuard(m_workerLock);
		m_workersClosed = true;
		m_accountRun = false;
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
	m_tiktok.reset();
	logLine(LOG_INFO, "shutdown complete");
}

Settings ChatDock::settings()
{
	std::lock_guard<std::mutex> guard(m_lock);
	return m_settings;
}

TwitchAccount ChatDock::account()
{
	std::lock_guard<std::mutex> guard(m_lock);
	return m_account;
}

ChatDock::AccountContext ChatDock::accountContext()
{
	std::lock_guard<std::mutex> guard(m_lock);
	return {{m_account, effectiveClientId(m_settings.clientId), m_broadcasterId}, m_settings.twitch};
}

void ChatDock::setBroadcasterId(const std::string &channel, const std::string &id)
{
	std::lock_guard<std::mutex> guard(m_lock);
	if (m_settings.twitch == channel)
		m_broadcasterId = id;
}

void ChatDock::setClientId(const std::string &clientId)
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_settings.clientId = clientId;
}

bool ChatDock::connectAccount(const TwitchAccount &account)
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_account = account;
	m_accountNote.clear();
	if (m_settings.twitch.empty() && !account.login.empty()) {
		m_settings.twitch = account.login;
		return true;
	}
	return false;
}

std::string ChatDock::emoteCache()
{
	std::lock_guard<std::mutex> guard(m_lock);
	return m_emoteCache;
}

void ChatDock::setEmoteCache(const std::string &json)
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_emoteCache = json;
}

void ChatDock::setChannels(const std::string &twitch, const std::string &tiktok,
			   const std::string &youtube, const std::string &kick)
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_settings.twitch = twitch;
	m_settings.tiktok = tiktok;
	m_settings.youtube = youtube;
	m_settings.kick = kick;
}

void ChatDock::markSetupDone()
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_settings.setupDone = true;
}

void ChatDock::setFeedConfig(const std::string &seToken, int64_t adLength)
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_settings.seToken = seToken;
	m_seChannelId.clear();
	if (adLength > 0)
		m_settings.adLength = adLength;
}

void ChatDock::streamElements(std::string &token, std::string &channelId)
{
	std::lock_guard<std::mutex> guard(m_lock);
	token = m_settings.seToken;
	channelId = m_seChannelId;
}

void ChatDock::rememberStreamElementsChannel(const std::string &token, const std::string &channelId)
{
	std::lock_guard<std::mutex> guard(m_lock);
	if (m_settings.seToken == token)
		m_seChannelId = channelId;
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
