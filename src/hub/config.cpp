#include "hub/chat_dock.h"

#include "common/host.h"
#include "common/log.h"
#include "common/persisted_switch.h"
#include "kick/kick_client.h"
#include "tiktok/tiktok_client.h"
#include "youtube/youtube_client.h"
#include "twitch/chat_reader.h"
#include "twitch/emote_providers.h"
#include "twitch/helix.h"

#include <util/base.h>

// The settings and the account: config.json, the "config" event, and the
// accessors the control API changes them through.
namespace vanteo {

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
	{
		std::lock_guard<std::mutex> guard(m_lock);
		m_settings = loaded;
		m_account = stored;
		m_accountNote = stored.token.empty() ? std::string() : "Checking the Twitch account";
	}
	if (m_thirdParty)
		m_thirdParty->setEnabled(loaded.thirdPartyEmotes);
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
	return configJson(m_settings, m_account, m_accountNote, gameCaptureSwitch().on(), replayNotifySwitch().on(),
			  !hasAllScopes(m_account));
}

void ChatDock::publishConfig()
{
	std::lock_guard<std::mutex> guard(m_lock);
	m_server.broadcast("config", configJsonLocked());
}

void ChatDock::applyChannels()
{
	std::lock_guard<std::mutex> applying(m_applyLock);
	std::string twitch;
	std::string tiktok;
	std::string kick;
	std::string youtube;
	{
		std::lock_guard<std::mutex> guard(m_lock);
		twitch = m_settings.twitch;
		tiktok = m_settings.tiktok;
		kick = m_settings.kick;
		youtube = m_settings.youtube;
		m_broadcasterId.clear();
	}
	// Another channel's emotes never match this one's lines; the reader
	// names the new channel's id once it joined.
	if (m_thirdParty && twitch != m_appliedTwitch)
		m_thirdParty->setRoom(std::string());
	m_appliedTwitch = twitch;
	if (m_twitchReader)
		m_twitchReader->start(twitch);
	if (m_tiktok)
		m_tiktok->start(tiktok);
	if (m_kick)
		m_kick->start(kick);
	if (m_youtube)
		m_youtube->start(youtube);
	refreshAccount();
	publishConfig();
	statusJson();
}

bool ChatDock::needsSetup()
{
	std::lock_guard<std::mutex> guard(m_lock);
	return !m_settings.setupDone && m_settings.twitch.empty() && m_settings.tiktok.empty() &&
	       m_settings.youtube.empty() && m_settings.kick.empty();
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

void ChatDock::setChannels(const std::string &twitch, const std::string &tiktok, const std::string &youtube,
			   const std::string &kick)
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

void ChatDock::setHighlightWords(const std::string &words)
{
	std::string normalised = normaliseHighlightWords(words);
	std::lock_guard<std::mutex> guard(m_lock);
	m_settings.highlightWords = std::move(normalised);
}

void ChatDock::setThirdPartyEmotes(bool on)
{
	{
		std::lock_guard<std::mutex> guard(m_lock);
		m_settings.thirdPartyEmotes = on;
	}
	if (m_thirdParty)
		m_thirdParty->setEnabled(on);
}

std::string ChatDock::withThirdPartyGroups(const std::string &catalog)
{
	return m_thirdParty ? withThirdPartyEmotes(catalog, *m_thirdParty->index()) : catalog;
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

} // namespace vanteo
