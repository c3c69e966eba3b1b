#include "kick/kick_events.h"

#include "common/endpoints.h"
#include "common/json.h"
#include "common/obs_json.h"

#include <vector>

namespace vanteo {

const char kKickPingFrame[] = "{\"event\":\"pusher:ping\",\"data\":{}}";
const char kKickPongFrame[] = "{\"event\":\"pusher:pong\",\"data\":{}}";

namespace {

// A member as text whether the site wrote it as a string or a whole number
// (Kick's ids come both ways); "" for anything else.
std::string textOf(obs_data_t *data, const char *key)
{
	if (!data)
		return std::string();
	obs_data_item_t *item = obs_data_item_byname(data, key);
	if (!item)
		return std::string();
	std::string out;
	if (obs_data_item_gettype(item) == OBS_DATA_STRING) {
		const char *s = obs_data_item_get_string(item);
		out = s ? s : "";
	} else if (obs_data_item_gettype(item) == OBS_DATA_NUMBER && obs_data_item_numtype(item) == OBS_DATA_NUM_INT) {
		out = std::to_string(obs_data_item_get_int(item));
	}
	obs_data_item_release(&item);
	return out;
}

obs_data_t *objectOf(obs_data_t *data, const char *key)
{
	return data ? obs_data_get_obj(data, key) : nullptr;
}

// The strings of the array `key` in a JSON object's text, up to `limit`
// of them (libobs keeps only the objects of an array). Escapes other than
// \" and \\ stay as written: Kick's user names never need them.
std::vector<std::string> stringArray(const std::string &json, const std::string &key, size_t limit)
{
	std::vector<std::string> out;
	size_t at = json.find("\"" + key + "\":");
	if (at == std::string::npos)
		return out;
	at = json.find_first_not_of(" \t\r\n", at + key.size() + 3);
	if (at == std::string::npos || json[at] != '[')
		return out;
	++at;
	while (out.size() < limit) {
		at = json.find_first_not_of(" \t\r\n,", at);
		if (at == std::string::npos || json[at] != '"')
			break;
		std::string item;
		size_t i = at + 1;
		for (; i < json.size() && json[i] != '"'; ++i) {
			if (json[i] == '\\' && i + 1 < json.size() && (json[i + 1] == '"' || json[i + 1] == '\\'))
				++i;
			item += json[i];
		}
		if (i >= json.size())
			break;
		out.push_back(std::move(item));
		at = i + 1;
	}
	return out;
}

bool isDigits(const std::string &text)
{
	return !text.empty() && text.size() <= 20 && text.find_first_not_of("0123456789") == std::string::npos;
}

// The badge types Kick shows, as the badge sets the pages draw. The version
// is one no Twitch catalogue holds, so that the built-in picture is used
// rather than the Twitch channel's own.
void readBadges(obs_data_t *identity, ChatMessage &record)
{
	static const struct {
		const char *type;
		const char *set;
	} kTypes[] = {
	    {"broadcaster", "broadcaster"}, {"moderator", "moderator"}, {"vip", "vip"}, {"subscriber", "subscriber"},
	    {"founder", "founder"},         {"staff", "staff"},         {"og", "vip"}};
	ArrayRef badges(identity ? obs_data_get_array(identity, "badges") : nullptr);
	for (size_t i = 0; i < badges.size() && i < 16; ++i) {
		DataRef badge(badges.item(i));
		const std::string type = textOf(badge.get(), "type");
		for (const auto &known : kTypes) {
			if (type == known.type) {
				record.badges.push_back({known.set, "kick"});
				break;
			}
		}
	}
}

void chatMessage(obs_data_t *data, KickFrame &frame)
{
	DataRef sender(objectOf(data, "sender"));
	ChatMessage &record = frame.record;
	record.id = textOf(data, "id");
	record.userId = textOf(sender.get(), "id");
	record.name = textOf(sender.get(), "username");
	if (record.name.empty())
		return;
	DataRef identity(objectOf(sender.get(), "identity"));
	record.color = textOf(identity.get(), "color");
	readBadges(identity.get(), record);
	kickTextWithEmotes(textOf(data, "content"), record);
	if (textOf(data, "type") == "reply") {
		DataRef meta(objectOf(data, "metadata"));
		DataRef toUser(objectOf(meta.get(), "original_sender"));
		DataRef toMessage(objectOf(meta.get(), "original_message"));
		record.replyTo = textOf(toUser.get(), "username");
		record.replyText = textOf(toMessage.get(), "content");
		record.replyParentId = textOf(toMessage.get(), "id");
	}
	frame.kind = KickFrame::Kind::Record;
}

void subscription(obs_data_t *data, KickFrame &frame)
{
	ChatMessage &record = frame.record;
	record.name = textOf(data, "username");
	if (record.name.empty())
		return;
	const int64_t months = obs_data_get_int(data, "months");
	record.eventId = months > 1 ? "resub" : "sub";
	if (months > 1)
		record.eventMonths = std::to_string(months);
	frame.kind = KickFrame::Kind::Record;
}

void giftedSubscriptions(obs_data_t *data, const std::string &text, KickFrame &frame)
{
	ChatMessage &record = frame.record;
	record.name = textOf(data, "gifter_username");
	const std::vector<std::string> names = stringArray(text, "gifted_usernames", 1000);
	if (record.name.empty() || names.empty())
		return;
	if (names.size() == 1) {
		record.eventId = "subgift";
		record.eventRecipient = names[0];
	} else {
		record.eventId = "submysterygift";
		record.eventCount = std::to_string(names.size());
	}
	const std::string total = textOf(data, "gifter_total");
	if (isDigits(total))
		record.eventTotal = total;
	frame.kind = KickFrame::Kind::Record;
}

void streamHost(obs_data_t *data, KickFrame &frame)
{
	ChatMessage &record = frame.record;
	record.name = textOf(data, "host_username");
	if (record.name.empty())
		return;
	record.eventId = "raid";
	const std::string viewers = textOf(data, "number_viewers");
	if (isDigits(viewers))
		record.eventViewers = viewers;
	record.text = textOf(data, "optional_message");
	frame.kind = KickFrame::Kind::Record;
}

void messageDeleted(obs_data_t *data, KickFrame &frame)
{
	DataRef message(objectOf(data, "message"));
	frame.clear.id = textOf(message.get(), "id");
	if (!frame.clear.id.empty())
		frame.kind = KickFrame::Kind::Clear;
}

void userBanned(obs_data_t *data, KickFrame &frame)
{
	DataRef user(objectOf(data, "user"));
	frame.clear.userId = textOf(user.get(), "id");
	frame.clear.name = textOf(user.get(), "username");
	if (frame.clear.userId.empty())
		return;
	// A timeout's length comes in minutes.
	const int64_t minutes = obs_data_get_int(data, "duration");
	if (!obs_data_get_bool(data, "permanent") && minutes > 0 && minutes < 1000000)
		frame.clear.duration = std::to_string(minutes * 60);
	frame.kind = KickFrame::Kind::Clear;
}

// "App\\Events\\ChatMessageEvent" gives "ChatMessageEvent".
std::string eventName(const std::string &event)
{
	const size_t slash = event.rfind('\\');
	return slash == std::string::npos ? event : event.substr(slash + 1);
}

} // namespace

std::string kickChatChannel(const std::string &chatroomId)
{
	return "chatrooms." + chatroomId + ".v2";
}

std::string kickSubscribeFrame(const std::string &chatroomId)
{
	return "{\"event\":\"pusher:subscribe\",\"data\":{\"auth\":\"\",\"channel\":" +
	       jsonQuote(kickChatChannel(chatroomId)) + "}}";
}

void kickTextWithEmotes(const std::string &content, ChatMessage &record)
{
	const std::string root = endpoint(endpoint_names::kKickFiles).httpsRoot();
	size_t pos = 0;
	while (pos < content.size()) {
		const size_t open = content.find("[emote:", pos);
		const size_t colon = open == std::string::npos ? open : content.find(':', open + 7);
		const size_t close = colon == std::string::npos ? colon : content.find(']', colon + 1);
		const std::string id = close == std::string::npos ? std::string()
								  : content.substr(open + 7, colon - open - 7);
		if (!isDigits(id) || close == colon + 1 || record.emotes.size() >= 200) {
			// No (more) well-formed markup: the rest is text. Markup that is
			// not well formed stays as written.
			const size_t end = open == std::string::npos || record.emotes.size() >= 200 ? content.size()
												    : open + 1;
			record.text.append(content, pos, end - pos);
			pos = end;
			continue;
		}
		record.text.append(content, pos, open - pos);
		appendEmote(record, content.substr(colon + 1, close - colon - 1), root + "emotes/" + id + "/fullsize");
		pos = close + 1;
	}
}

KickFrame readKickFrame(const std::string &text, const std::string &channel)
{
	KickFrame frame;
	DataRef envelope(DataRef::parse(text));
	if (!envelope)
		return frame;
	const std::string event = textOf(envelope.get(), "event");
	// The data is JSON in a string, except in some errors that send it as is.
	std::string dataText = textOf(envelope.get(), "data");
	DataRef data(dataText.empty() ? objectOf(envelope.get(), "data") : DataRef::parse(dataText));
	if (event == "pusher:connection_established") {
		frame.kind = KickFrame::Kind::Established;
		frame.activityTimeoutSeconds = static_cast<int>(obs_data_get_int(data.get(), "activity_timeout"));
		return frame;
	}
	if (event == "pusher:ping" || event == "pusher:pong") {
		frame.kind = event == "pusher:ping" ? KickFrame::Kind::Ping : KickFrame::Kind::Pong;
		return frame;
	}
	if (event == "pusher:error" || event == "pusher:subscription_error") {
		frame.kind = KickFrame::Kind::Error;
		frame.error = textOf(data.get(), "message");
		if (frame.error.empty())
			frame.error = textOf(data.get(), "error");
		return frame;
	}
	if (textOf(envelope.get(), "channel") != channel || !data)
		return frame;
	if (event == "pusher_internal:subscription_succeeded") {
		frame.kind = KickFrame::Kind::Subscribed;
		return frame;
	}
	frame.record.platform = Platform::Kick;
	const std::string name = eventName(event);
	if (name == "ChatMessageEvent")
		chatMessage(data.get(), frame);
	else if (name == "SubscriptionEvent")
		subscription(data.get(), frame);
	else if (name == "GiftedSubscriptionsEvent")
		giftedSubscriptions(data.get(), dataText, frame);
	else if (name == "StreamHostEvent")
		streamHost(data.get(), frame);
	else if (name == "MessageDeletedEvent")
		messageDeleted(data.get(), frame);
	else if (name == "UserBannedEvent")
		userBanned(data.get(), frame);
	else if (name == "ChatroomClearEvent")
		frame.kind = KickFrame::Kind::Clear;
	return frame;
}

} // namespace vanteo
