#include "hub/settings.h"

#include "common/json.h"
#include "platform/files.h"

#include <obs-data.h>

namespace vanteo {

namespace {

obs_data_t *openSettings(const std::string &path)
{
	// The backup written by the last save stands in for a damaged file.
	obs_data_t *data = obs_data_create_from_json_file_safe(path.c_str(), "bak");
	if (data)
		return data;
	static const std::string current = "vanteo";
	size_t at = path.find(current);
	if (at == std::string::npos)
		return nullptr;
	std::string legacy = path;
	legacy.replace(at, current.size(), "pellora-chat");
	return obs_data_create_from_json_file(legacy.c_str());
}

} // namespace

bool readSettingsFile(const std::string &path, Settings &s, TwitchAccount &account)
{
	if (path.empty())
		return false;
	obs_data_t *data = openSettings(path);
	if (!data)
		return false;
	s.twitch = obs_data_get_string(data, "twitch");
	s.tiktok = obs_data_get_string(data, "tiktok");
	s.youtube = obs_data_get_string(data, "youtube");
	s.kick = obs_data_get_string(data, "kick");
	s.setupDone = obs_data_get_bool(data, "setupDone");
	s.clientId = obs_data_get_string(data, "clientId");
	account.token = obs_data_get_string(data, "token");
	account.refreshToken = obs_data_get_string(data, "refreshToken");
	s.seToken = obs_data_get_string(data, "seToken");
	s.adLength = obs_data_has_user_value(data, "adLength") ? obs_data_get_int(data, "adLength") : 60;
	if (s.adLength < 1)
		s.adLength = 60;
	s.highlightWords = normaliseHighlightWords(obs_data_get_string(data, "highlightWords"));
	s.thirdPartyEmotes = !obs_data_has_user_value(data, "thirdPartyEmotes") ||
			     obs_data_get_bool(data, "thirdPartyEmotes");
	obs_data_release(data);
	return true;
}

bool writeSettingsFile(const std::string &path, const Settings &s, const TwitchAccount &account)
{
	if (path.empty())
		return false;
	obs_data_t *data = obs_data_create();
	obs_data_set_string(data, "twitch", s.twitch.c_str());
	obs_data_set_string(data, "tiktok", s.tiktok.c_str());
	obs_data_set_string(data, "youtube", s.youtube.c_str());
	obs_data_set_string(data, "kick", s.kick.c_str());
	obs_data_set_bool(data, "setupDone", s.setupDone);
	obs_data_set_string(data, "clientId", s.clientId.c_str());
	obs_data_set_string(data, "token", account.token.c_str());
	obs_data_set_string(data, "refreshToken", account.refreshToken.c_str());
	obs_data_set_string(data, "seToken", s.seToken.c_str());
	obs_data_set_int(data, "adLength", s.adLength);
	obs_data_set_string(data, "highlightWords", s.highlightWords.c_str());
	obs_data_set_bool(data, "thirdPartyEmotes", s.thirdPartyEmotes);

	// The file holds tokens: the temporary file is created owner-only before
	// libobs truncates and fills it, so the renamed result keeps that mode.
	const std::string temp = path + ".tmp";
	platform::prepareOwnerOnlyFile(temp);
	bool ok = obs_data_save_json_safe(data, path.c_str(), "tmp", "bak");
	obs_data_release(data);
	// The backup is the previous file, which may predate the owner-only rule.
	platform::restrictToOwner(path + ".bak");
	return ok;
}

std::string configJson(const Settings &s, const TwitchAccount &account, const std::string &accountNote, bool autoGame,
		       bool replayNotify, bool needsReauth)
{
	const bool builtIn = kBuiltInClientId[0] != '\0';
	std::string out = "{\"twitch\":" + jsonQuote(s.twitch);
	out += ",\"tiktok\":" + jsonQuote(s.tiktok);
	out += ",\"youtube\":" + jsonQuote(s.youtube);
	out += ",\"kick\":" + jsonQuote(s.kick);
	out += s.setupDone ? ",\"setupDone\":true" : ",\"setupDone\":false";
	out += ",\"clientId\":" + jsonQuote(builtIn ? std::string() : s.clientId);
	out += autoGame ? ",\"autoGame\":true" : ",\"autoGame\":false";
	out += replayNotify ? ",\"replayNotify\":true" : ",\"replayNotify\":false";
	out += builtIn ? ",\"builtInClient\":true" : ",\"builtInClient\":false";
	out += s.seToken.empty() ? ",\"seConfigured\":false" : ",\"seConfigured\":true";
	out += ",\"adLength\":" + std::to_string(s.adLength);
	out += ",\"highlightWords\":" + jsonQuote(s.highlightWords);
	out += s.thirdPartyEmotes ? ",\"thirdPartyEmotes\":true" : ",\"thirdPartyEmotes\":false";
	if (account.login.empty() && !account.token.empty())
		out +=
		    ",\"account\":{\"login\":\"\",\"needsReauth\":false,\"pending\":" + jsonQuote(accountNote) + "}}";
	else if (account.login.empty())
		out += ",\"account\":null}";
	else
		out += ",\"account\":{\"login\":" + jsonQuote(account.login) +
		       (needsReauth ? ",\"needsReauth\":true}}" : ",\"needsReauth\":false}}");
	return out;
}

std::string normaliseHighlightWords(const std::string &text)
{
	const size_t kMaxWords = 50;
	const size_t kMaxWordBytes = 40;
	std::string out;
	size_t count = 0;
	for (size_t start = 0; start <= text.size() && count < kMaxWords;) {
		size_t end = text.find_first_of(",\r\n", start);
		if (end == std::string::npos)
			end = text.size();
		std::string word = text.substr(start, end - start);
		start = end + 1;
		word.erase(0, word.find_first_not_of(" \t"));
		word.erase(word.find_last_not_of(" \t") + 1);
		if (word.empty())
			continue;
		if (word.size() > kMaxWordBytes) {
			// Cut before a character, not inside one (UTF-8 continuation
			// bytes are 10xxxxxx).
			size_t length = kMaxWordBytes;
			while (length > 0 && (static_cast<unsigned char>(word[length]) & 0xC0) == 0x80)
				--length;
			word.resize(length);
		}
		if (!out.empty())
			out += ", ";
		out += word;
		++count;
	}
	return out;
}

} // namespace vanteo
