#include "twitch/emotes.h"

#include "feed/badges.h"
#include "common/endpoints.h"
#include "common/json.h"
#include "common/obs_json.h"
#include "common/url_encode.h"
#include "twitch/text_case.h"

#include <algorithm>
#include <cstdint>

namespace vanteo {

namespace {

const size_t kMaxEmotePages = 40;
const size_t kOwnersPerRequest = 100;

const char kChannelGroup[] = "channel";
const char kGlobalGroup[] = "globali";
const char kOtherChannels[] = "Other Channels";
const char kReauthorize[] = "Authorization is required again; click Connect Twitch Account";

// A GET on Helix without a body. True once an answer with any status came.
bool helixGet(const HelixContext &ctx, const std::string &path, std::string &body, uint32_t &status)
{
	return helixRequest(ctx, "GET", path, std::string(), body, status);
}

void replaceFirst(std::string &text, const char *placeholder, const char *value)
{
	const size_t at = text.find(placeholder);
	if (at != std::string::npos)
		text.replace(at, std::char_traits<char>::length(placeholder), value);
}

// Emotes of other channels are grouped by their owner; "0" and "" mean
// Twitch itself.
bool ownerCounts(const std::string &type, const std::string &owner)
{
	return (type == "subscriptions" || type == "follower" || type == "bitstier") && !owner.empty() && owner != "0";
}

int groupRank(const std::string &label)
{
	if (label == kChannelGroup)
		return 0;
	return label == kGlobalGroup ? 2 : 1;
}

} // namespace

std::string defaultEmoteTemplate()
{
	return "https://" + endpoint(endpoint_names::kTwitchEmoteCdn).authority() +
	       "/emoticons/v2/{{id}}/{{format}}/{{theme_mode}}/{{scale}}";
}

std::string EmoteCatalog::addPage(const std::string &body, const std::string &fixedGroup)
{
	DataRef root(DataRef::parse(body));
	if (!root)
		return std::string();
	std::string urlTemplate = dataString(root.get(), "template");
	if (urlTemplate.empty())
		urlTemplate = defaultEmoteTemplate();
	DataRef pagination(obs_data_get_obj(root.get(), "pagination"));
	const std::string cursor = dataString(pagination.get(), "cursor");

	ArrayRef data(obs_data_get_array(root.get(), "data"));
	for (size_t i = 0; i < data.size(); ++i) {
		DataRef item(data.item(i));
		const std::string name = dataString(item.get(), "name");
		const std::string id = dataString(item.get(), "id");
		std::string owner = dataString(item.get(), "owner_id");
		if (!ownerCounts(dataString(item.get(), "emote_type"), owner))
			owner.clear();
		if (name.empty() || id.empty() || !m_names.insert(name).second)
			continue;

		std::string url = urlTemplate;
		replaceFirst(url, "{{id}}", id.c_str());
		replaceFirst(url, "{{format}}", "default");
		replaceFirst(url, "{{theme_mode}}", "dark");
		replaceFirst(url, "{{scale}}", "2.0");

		std::string group = fixedGroup;
		if (group.empty() && !owner.empty()) {
			group = "id:" + owner;
			if (m_ownerSeen.insert(owner).second)
				m_ownerOrder.push_back(owner);
		} else if (group.empty()) {
			group = kGlobalGroup;
		}
		m_entries.push_back({name, url, group});
	}
	return cursor;
}

void EmoteCatalog::addOwners(const std::string &usersBody)
{
	DataRef root(DataRef::parse(usersBody));
	ArrayRef data(obs_data_get_array(root.get(), "data"));
	for (size_t i = 0; i < data.size(); ++i) {
		DataRef user(data.item(i));
		m_owners[dataString(user.get(), "id")] = {dataString(user.get(), "display_name"),
							  dataString(user.get(), "profile_image_url")};
	}
}

std::string EmoteCatalog::json() const
{
	struct Group {
		std::string label;
		std::string avatar;
	};
	std::vector<Group> groups;
	std::string emotes;
	for (const Entry &entry : m_entries) {
		Group group{entry.group, std::string()};
		if (entry.group.compare(0, 3, "id:") == 0) {
			auto owner = m_owners.find(entry.group.substr(3));
			if (owner != m_owners.end())
				group = {owner->second.first, owner->second.second};
			else
				group.label = kOtherChannels;
		}
		const bool known =
		    std::any_of(groups.begin(), groups.end(), [&](const Group &g) { return g.label == group.label; });
		if (!known)
			groups.push_back(group);
		if (!emotes.empty())
			emotes += ',';
		emotes += "{\"name\":" + jsonQuote(entry.name) + ",\"url\":" + jsonQuote(entry.url) +
			  ",\"group\":" + jsonQuote(group.label) + "}";
	}

	std::stable_sort(groups.begin(), groups.end(), [](const Group &a, const Group &b) {
		const int ra = groupRank(a.label);
		const int rb = groupRank(b.label);
		if (ra != rb)
			return ra < rb;
		return lessIgnoringCase(a.label, b.label);
	});
	std::string list;
	for (const Group &group : groups) {
		if (!list.empty())
			list += ',';
		list += "{\"name\":" + jsonQuote(group.label) + ",\"avatar\":" + jsonQuote(group.avatar) + "}";
	}
	return "{\"emotes\":[" + emotes + "],\"groups\":[" + list + "]}";
}

bool loadEmotes(const HelixContext &ctx, std::string &jsonOut, std::string &errorOut)
{
	const std::string &broadcasterId = ctx.broadcasterId;
	EmoteCatalog catalog;
	bool any = false;
	std::string body;
	uint32_t status = 0;

	if (!broadcasterId.empty() &&
	    helixGet(ctx, "/helix/chat/emotes?broadcaster_id=" + urlEncode(broadcasterId), body, status) &&
	    status == 200) {
		catalog.addPage(body, kChannelGroup);
		any = true;
	}

	// The account's emotes: its subscriptions, follower emotes and the
	// rest, page by page. The cursor is encoded: Twitch's cursors are
	// base64, whose "+" would otherwise reach Twitch as a space.
	std::string cursor;
	for (size_t page = 0; page < kMaxEmotePages; ++page) {
		std::string path = "/helix/chat/emotes/user?first=100&user_id=" + urlEncode(ctx.account.userId);
		if (page > 0)
			path += "&after=" + urlEncode(cursor);
		if (!helixGet(ctx, path, body, status))
			break;
		if (status == 401) {
			errorOut = kReauthorize;
			break;
		}
		if (status != 200)
			break;
		any = true;
		cursor = catalog.addPage(body, std::string());
		if (cursor.empty())
			break;
	}

	if (helixGet(ctx, "/helix/chat/emotes/global", body, status) && status == 200) {
		catalog.addPage(body, kGlobalGroup);
		any = true;
	}

	const std::vector<std::string> &owners = catalog.ownerIds();
	for (size_t first = 0; first < owners.size(); first += kOwnersPerRequest) {
		std::string path = "/helix/users?";
		const size_t end = std::min(owners.size(), first + kOwnersPerRequest);
		for (size_t i = first; i < end; ++i)
			path += (i == first ? "id=" : "&id=") + urlEncode(owners[i]);
		if (helixGet(ctx, path, body, status) && status == 200)
			catalog.addOwners(body);
	}

	jsonOut = catalog.json();
	if (!any && errorOut.empty())
		errorOut = "Twitch returned no emotes";
	return any;
}

namespace {

// Puts every version of a Helix badge answer into the catalogue.
void storeBadges(const std::string &body)
{
	DataRef root(DataRef::parse(body));
	ArrayRef sets(obs_data_get_array(root.get(), "data"));
	for (size_t i = 0; i < sets.size(); ++i) {
		DataRef set(sets.item(i));
		const std::string setId = dataString(set.get(), "set_id");
		ArrayRef versions(obs_data_get_array(set.get(), "versions"));
		for (size_t j = 0; j < versions.size(); ++j) {
			DataRef version(versions.item(j));
			const std::string id = dataString(version.get(), "id");
			const std::string image = dataString(version.get(), "image_url_2x");
			if (setId.empty() || id.empty() || image.empty())
				continue;
			catalogSetBadge(setId, id, dataString(version.get(), "title"), image);
		}
	}
}

// One badge request; true for a 200, whose badges are then stored.
bool loadBadgeAnswer(const HelixContext &ctx, const std::string &path)
{
	std::string body;
	uint32_t status = 0;
	if (!helixGet(ctx, path, body, status) || status != 200)
		return false;
	storeBadges(body);
	return true;
}

} // namespace

bool loadBadges(const HelixContext &ctx)
{
	if (ctx.account.token.empty() || ctx.clientId.empty())
		return false;
	bool ok = loadBadgeAnswer(ctx, "/helix/chat/badges/global");
	if (!ctx.broadcasterId.empty()) {
		catalogSetBroadcaster(ctx.broadcasterId);
		ok = loadBadgeAnswer(ctx, "/helix/chat/badges?broadcaster_id=" + urlEncode(ctx.broadcasterId));
	}
	return ok;
}

} // namespace vanteo
