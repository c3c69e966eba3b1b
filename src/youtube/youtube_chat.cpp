#include "youtube/youtube_chat.h"

#include "common/obs_json.h"

#include <cstdio>
#include <initializer_list>

namespace vanteo {

namespace {

// The object at the end of a chain of keys (a new reference), or null.
obs_data_t *at(obs_data_t *root, std::initializer_list<const char *> keys)
{
	if (!root)
		return nullptr;
	obs_data_addref(root);
	obs_data_t *node = root;
	for (const char *key : keys) {
		obs_data_t *next = obs_data_get_obj(node, key);
		obs_data_release(node);
		node = next;
		if (!node)
			return nullptr;
	}
	return node;
}

std::string str(obs_data_t *data, const char *key)
{
	return dataString(data, key);
}

// The first picture of a "thumbnails" list; YouTube writes some addresses
// without their scheme ("//yt3.ggpht.com/...").
std::string thumbnail(obs_data_t *image)
{
	ArrayRef list(image ? obs_data_get_array(image, "thumbnails") : nullptr);
	DataRef first(list.item(list.size() > 0 ? list.size() - 1 : 0));
	std::string url = str(first.get(), "url");
	if (url.compare(0, 2, "//") == 0)
		url = "https:" + url;
	return url.compare(0, 8, "https://") == 0 ? url : std::string();
}

// Text of a container with "simpleText" or "runs"; with a record, emoji
// runs of the channel's own emoji become emote spans in its text.
std::string readText(obs_data_t *container, ChatMessage *record = nullptr)
{
	if (!container)
		return std::string();
	const std::string simple = str(container, "simpleText");
	if (!simple.empty()) {
		if (record)
			record->text += simple;
		return simple;
	}
	std::string out;
	ArrayRef runs(obs_data_get_array(container, "runs"));
	for (size_t i = 0; i < runs.size() && i < 200; ++i) {
		DataRef run(runs.item(i));
		DataRef emoji(obs_data_get_obj(run.get(), "emoji"));
		if (!emoji) {
			const std::string text = str(run.get(), "text");
			out += text;
			if (record)
				record->text += text;
			continue;
		}
		// Standard emoji are characters (their id); the channel's own are
		// pictures, named by their label.
		DataRef image(obs_data_get_obj(emoji.get(), "image"));
		DataRef label(at(image.get(), {"accessibility", "accessibilityData"}));
		const std::string url = thumbnail(image.get());
		if (obs_data_get_bool(emoji.get(), "isCustomEmoji") && !url.empty()) {
			const std::string code = ":" + str(label.get(), "label") + ":";
			out += code;
			if (record)
				appendEmote(*record, code, url);
		} else {
			const std::string text = str(emoji.get(), "emojiId");
			out += text;
			if (record)
				record->text += text;
		}
	}
	return out;
}

// YouTube's colours are ARGB numbers.
std::string colour(obs_data_t *data, const char *key)
{
	if (!obs_data_has_user_value(data, key))
		return std::string();
	char text[8];
	std::snprintf(text, sizeof text, "#%06llx",
		      static_cast<unsigned long long>(obs_data_get_int(data, key)) & 0xFFFFFFu);
	return text;
}

// The first whole number in a text ("Gifted 5 memberships" gives "5").
std::string firstNumber(const std::string &text)
{
	const size_t begin = text.find_first_of("0123456789");
	if (begin == std::string::npos)
		return std::string();
	const size_t end = text.find_first_not_of("0123456789,", begin);
	std::string digits;
	for (size_t i = begin; i < (end == std::string::npos ? text.size() : end) && digits.size() < 9; ++i)
		if (text[i] != ',')
			digits += text[i];
	return digits;
}

void author(obs_data_t *item, ChatMessage &record)
{
	record.id = str(item, "id");
	record.userId = str(item, "authorExternalChannelId");
	DataRef name(obs_data_get_obj(item, "authorName"));
	record.name = readText(name.get());
	ArrayRef badges(obs_data_get_array(item, "authorBadges"));
	for (size_t i = 0; i < badges.size() && i < 8; ++i) {
		DataRef entry(badges.item(i));
		DataRef badge(at(entry.get(), {"liveChatAuthorBadgeRenderer"}));
		DataRef icon(obs_data_get_obj(badge.get(), "icon"));
		const std::string type = str(icon.get(), "iconType");
		if (type == "OWNER")
			record.badges.push_back({"broadcaster", "youtube"});
		else if (type == "MODERATOR")
			record.badges.push_back({"moderator", "youtube"});
		else if (obs_data_has_user_value(badge.get(), "customThumbnail"))
			record.badges.push_back({"subscriber", "youtube"}); // a member
	}
}

// One added chat item; false for kinds this reader does not show.
bool readItem(obs_data_t *item, ChatMessage &record)
{
	record.platform = Platform::YouTube;
	if (DataRef text{at(item, {"liveChatTextMessageRenderer"})}) {
		author(text.get(), record);
		DataRef message(obs_data_get_obj(text.get(), "message"));
		readText(message.get(), &record);
		return !record.text.empty();
	}
	if (DataRef paid{at(item, {"liveChatPaidMessageRenderer"})}) {
		author(paid.get(), record);
		record.eventId = "superchat";
		DataRef amount(obs_data_get_obj(paid.get(), "purchaseAmountText"));
		record.eventTotal = readText(amount.get());
		record.eventColor = colour(paid.get(), "bodyBackgroundColor");
		DataRef message(obs_data_get_obj(paid.get(), "message"));
		readText(message.get(), &record);
		return true;
	}
	if (DataRef sticker{at(item, {"liveChatPaidStickerRenderer"})}) {
		author(sticker.get(), record);
		record.eventId = "supersticker";
		DataRef amount(obs_data_get_obj(sticker.get(), "purchaseAmountText"));
		record.eventTotal = readText(amount.get());
		record.eventColor = colour(sticker.get(), "backgroundColor");
		DataRef image(obs_data_get_obj(sticker.get(), "sticker"));
		record.eventImage = thumbnail(image.get());
		DataRef label(at(image.get(), {"accessibility", "accessibilityData"}));
		record.eventText = str(label.get(), "label");
		return true;
	}
	if (DataRef member{at(item, {"liveChatMembershipItemRenderer"})}) {
		author(member.get(), record);
		record.eventId = "member";
		DataRef primary(obs_data_get_obj(member.get(), "headerPrimaryText"));
		DataRef sub(obs_data_get_obj(member.get(), "headerSubtext"));
		// A milestone says "Member for 6 months" above the level's name; a
		// new member only has the welcome below.
		const std::string months = firstNumber(readText(primary.get()));
		record.eventMonths = months;
		record.eventText = readText(sub.get());
		DataRef message(obs_data_get_obj(member.get(), "message"));
		readText(message.get(), &record);
		return true;
	}
	if (DataRef gift{at(item, {"liveChatSponsorshipsGiftPurchaseAnnouncementRenderer"})}) {
		DataRef header(at(gift.get(), {"header", "liveChatSponsorshipsHeaderRenderer"}));
		author(header.get(), record);
		record.id = str(gift.get(), "id");
		record.userId = str(gift.get(), "authorExternalChannelId");
		record.eventId = "membergift";
		DataRef primary(obs_data_get_obj(header.get(), "primaryText"));
		record.eventCount = firstNumber(readText(primary.get()));
		return !record.name.empty();
	}
	return false;
}

} // namespace

YouTubeChatAnswer readYouTubeChatAnswer(const std::string &body)
{
	YouTubeChatAnswer answer;
	if (body.size() > kMaxYouTubeChatAnswer)
		return answer;
	DataRef root(DataRef::parse(body));
	DataRef chat(at(root.get(), {"continuationContents", "liveChatContinuation"}));
	if (!chat)
		return answer;
	answer.ok = true;

	ArrayRef continuations(obs_data_get_array(chat.get(), "continuations"));
	DataRef next(continuations.item(0));
	for (const char *kind : {"invalidationContinuationData", "timedContinuationData", "reloadContinuationData"}) {
		DataRef data(at(next.get(), {kind}));
		if (!data)
			continue;
		const std::string token = str(data.get(), "continuation");
		const bool safe =
		    !token.empty() && token.size() <= 2000 &&
		    token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-%=") ==
			std::string::npos;
		if (safe)
			answer.continuation = token;
		const long long wait = obs_data_get_int(data.get(), "timeoutMs");
		answer.timeoutMs = wait > 0 && wait < 600000 ? static_cast<int>(wait) : 0;
		break;
	}
	answer.ended = answer.continuation.empty();

	ArrayRef actions(obs_data_get_array(chat.get(), "actions"));
	for (size_t i = 0; i < actions.size() && i < kMaxYouTubeActions; ++i) {
		DataRef action(actions.item(i));
		if (DataRef item{at(action.get(), {"addChatItemAction", "item"})}) {
			ChatMessage record;
			if (readItem(item.get(), record) && !record.name.empty())
				answer.records.push_back(std::move(record));
		} else if (DataRef deleted{at(action.get(), {"markChatItemAsDeletedAction"})}) {
			const std::string id = str(deleted.get(), "targetItemId");
			if (!id.empty())
				answer.removals.push_back({id, std::string()});
		} else if (DataRef byAuthor{at(action.get(), {"markChatItemsByAuthorAsDeletedAction"})}) {
			const std::string channel = str(byAuthor.get(), "externalChannelId");
			if (!channel.empty())
				answer.removals.push_back({std::string(), channel});
		}
	}
	return answer;
}

} // namespace vanteo
