#include "hub/chat_dock.h"

#include "common/json.h"
#include "common/log.h"
#include "platform/https.h"
#include "twitch/emotes.h"
#include "twitch/eventsub.h"
#include "twitch/helix.h"

#include <system_error>
#include <thread>

#include <util/base.h>

// The account worker and the EventSub session it starts.
namespace vanteo {

void ChatDock::refreshAccount()
{
	if (m_twitchPoller)
		m_twitchPoller->pollNow();
	std::lock_guard<std::mutex> workerGuard(m_workerLock);
	endAccountRun();
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
		{
			std::unique_lock<std::mutex> waiting(m_accountWaitLock);
			m_accountWake.wait_for(waiting, wait, [this] { return !m_accountRun; });
		}
		wait = std::min(wait * 2, m_accountRetryMax);
	}
	return false;
}

void ChatDock::endAccountRun()
{
	{
		std::lock_guard<std::mutex> guard(m_accountWaitLock);
		m_accountRun = false;
	}
	m_accountWake.notify_all();
}

void ChatDock::startEventSub(const HelixContext &ctx)
{
	std::lock_guard<std::mutex> restartGuard(m_eventSubLock);
	if (!m_eventSub || m_eventSubClosed || !m_accountRun)
		return;
	m_eventSub->start(
	    ctx, [this](const HeldMessage &held) { onHeld(held); },
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

} // namespace vanteo
