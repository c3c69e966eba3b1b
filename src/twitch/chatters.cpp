#include "twitch/chatters.h"

#include "common/json.h"
#include "common/obs_json.h"
#include "common/url_encode.h"
#include "twitch/text_case.h"

#include <algorithm>
#include <cstdint>
#include <set>

namespace vanteo {

namespace {

const int kMaxPages = 20;

// Chat bots many channels run, by login.
const char *const kKnownBots[] = {
    "streamelements", "nightbot", "moobot",      "fossabot",      "wizebot", "streamlabs",
    "botrix",         "sery_bot", "soundalerts", "commanderroot", "lurxx",   "kofistreambot",
};

bool isKnownBot(const std::string &lowerName)
{
	for (const char *bot : kKnownBots) {
		if (lowerName == bot)
			return true;
	}
	return false;
}

std::set<std::string> lowered(const std::vector<std::string> &names)
{
	std::set<std::string> out;
	for (const std::string &name : names)
		out.insert(lowerAscii(name));
	return out;
}

// Names are quoted with the full JSON escaping: a control character in a
// name must not break the reply.
std::string nameList(const std::vector<std::string> &names)
{
	std::string out = "[";
	for (const std::string &name : names) {
		if (out.size() > 1)
			out += ',';
		out += jsonQuote(name);
	}
	return out + "]";
}

} // namespace

bool fetchPaged(const HelixContext &ctx, const std::string &path, std::vector<std::string> &namesOut)
{
	std::string cursor;
	for (int page = 0; page < kMaxPages; ++page) {
		// Cursors are base64; encoded so that a "+" stays a "+".
		const std::string target = page == 0 ? path : path + "&after=" + urlEncode(cursor);
		std::string body;
		uint32_t status = 0;
		if (!helixRequest(ctx, "GET", target, std::string(), body, status) || status != 200)
			return page > 0;
		DataRef root(DataRef::parse(body));
		DataRef pagination(obs_data_get_obj(root.get(), "pagination"));
		cursor = dataString(pagination.get(), "cursor");
		ArrayRef data(obs_data_get_array(root.get(), "data"));
		for (size_t i = 0; i < data.size(); ++i) {
			DataRef item(data.item(i));
			std::string name = dataString(item.get(), "user_name");
			if (name.empty())
				name = dataString(item.get(), "user_login");
			if (!name.empty())
				namesOut.push_back(std::move(name));
		}
		if (cursor.empty())
			return true;
	}
	return true;
}

std::string chattersJson(std::vector<std::string> chatters, const std::vector<std::string> &moderators,
			 const std::vector<std::string> &vips, const std::string &channelName)
{
	std::stable_sort(chatters.begin(), chatters.end(), lessIgnoringCase);
	const std::string channel = lowerAscii(channelName);
	const std::set<std::string> mods = lowered(moderators);
	const std::set<std::string> vipSet = lowered(vips);

	std::string broadcaster = "null";
	std::vector<std::string> modList, vipList, botList, viewerList;
	for (const std::string &name : chatters) {
		const std::string lower = lowerAscii(name);
		if (lower == channel)
			broadcaster = jsonQuote(name);
		else if (mods.count(lower))
			modList.push_back(name);
		else if (vipSet.count(lower))
			vipList.push_back(name);
		else if (isKnownBot(lower))
			botList.push_back(name);
		else
			viewerList.push_back(name);
	}
	return "{\"broadcaster\":" + broadcaster + ",\"moderators\":" + nameList(modList) +
	       ",\"vips\":" + nameList(vipList) + ",\"bots\":" + nameList(botList) +
	       ",\"viewers\":" + nameList(viewerList) + ",\"total\":" + std::to_string(chatters.size()) + "}";
}

bool loadChatters(const HelixContext &ctx, const std::string &channelName, std::string &jsonOut, std::string &errorOut)
{
	const std::string bid = urlEncode(ctx.broadcasterId);
	std::vector<std::string> chatters;
	if (!fetchPaged(ctx,
			"/helix/chat/chatters?first=1000&broadcaster_id=" + bid +
			    "&moderator_id=" + urlEncode(ctx.account.userId),
			chatters)) {
		errorOut = "Permission to read chat users is required; reconnect the account";
		return false;
	}
	std::vector<std::string> moderators;
	std::vector<std::string> vips;
	if (!fetchPaged(ctx, "/helix/moderation/moderators?first=100&broadcaster_id=" + bid, moderators))
		moderators.clear();
	if (!fetchPaged(ctx, "/helix/channels/vips?first=100&broadcaster_id=" + bid, vips))
		vips.clear();
	jsonOut = chattersJson(std::move(chatters), moderators, vips, channelName);
	return true;
}

} // namespace vanteo
