// What each recorded Kick chat frame becomes: the envelope carries the
// event's data as JSON written into a string.
#include "common/json.h"
#include "kick/kick_channel.h"
#include "kick/kick_events.h"

#include <gtest/gtest.h>

#include <string>

using namespace vanteo;

namespace {

const char kChannel[] = "chatrooms.668.v2";

std::string envelope(const std::string &event, const std::string &data, const std::string &channel = kChannel)
{
	return "{\"event\":" + jsonQuote(event) + ",\"data\":" + jsonQuote(data) +
	       ",\"channel\":" + jsonQuote(channel) + "}";
}

// The fields a frame filled in, in a fixed order, empty ones left out.
std::string summary(const KickFrame &f)
{
	static const char *kKinds[] = {"ignored",    "established", "ping",   "pong",
				       "subscribed", "error",       "record", "clear"};
	std::string out = kKinds[static_cast<int>(f.kind)];
	auto add = [&](const char *key, const std::string &value) {
		if (!value.empty())
			out += std::string(" ") + key + "=" + value;
	};
	const ChatMessage &m = f.record;
	add("id", m.id);
	add("user", m.userId);
	add("name", m.name);
	add("color", m.color);
	add("text", m.text);
	for (const BadgeRef &b : m.badges)
		add("badge", b.setId);
	for (const EmoteSpan &e : m.emotes)
		add("emote",
		    std::to_string(e.start) + "-" + std::to_string(e.end) + "@" + e.url.substr(e.url.find("/emotes/")));
	add("replyTo", m.replyTo);
	add("replyText", m.replyText);
	add("kind", m.eventId);
	add("months", m.eventMonths);
	add("to", m.eventRecipient);
	add("count", m.eventCount);
	add("total", m.eventTotal);
	add("viewers", m.eventViewers);
	add("clearId", f.clear.id);
	add("clearUser", f.clear.userId);
	add("clearName", f.clear.name);
	add("duration", f.clear.duration);
	add("error", f.error);
	if (f.activityTimeoutSeconds)
		add("timeout", std::to_string(f.activityTimeoutSeconds));
	return out;
}

} // namespace

TEST(KickEvents, RecordedFramesMapToRecordsAndRemovals)
{
	const std::string sender =
	    R"("sender":{"id":1903,"username":"Ana_b","slug":"ana-b","identity":{"color":"#E9113C","badges":[{"type":"moderator","text":"Moderator"},{"type":"subscriber","text":"Subscriber","count":4},{"type":"sidekick","text":"?"}]}})";
	const struct {
		const char *what;
		std::string frame;
		std::string expected;
	} cases[] = {
	    {"chat line with two emotes and a non-ASCII word",
	     envelope(
		 "App\\Events\\ChatMessageEvent",
		 R"({"id":"9f1c","chatroom_id":668,"content":"héllo [emote:37226:KEKW][emote:39261:kkHuh] ok","type":"message",)" +
		     sender + "}"),
	     "record id=9f1c user=1903 name=Ana_b color=#E9113C text=héllo KEKWkkHuh ok badge=moderator "
	     "badge=subscriber emote=6-9@/emotes/37226/fullsize emote=10-14@/emotes/39261/fullsize"},
	    {"markup that is not an emote stays text",
	     envelope("App\\Events\\ChatMessageEvent",
		      R"({"id":"a","content":"[emote:x1:no] [emote:5:] [emote:7:half","type":"message",)" + sender +
			  "}"),
	     "record id=a user=1903 name=Ana_b color=#E9113C text=[emote:x1:no] [emote:5:] [emote:7:half badge=moderator "
	     "badge=subscriber"},
	    {"reply",
	     envelope(
		 "App\\Events\\ChatMessageEvent",
		 R"({"id":"r","content":"yes","type":"reply",)" + sender +
		     R"(,"metadata":{"original_sender":{"id":5,"username":"bo"},"original_message":{"id":"o1","content":"is it on?"}}})"),
	     "record id=r user=1903 name=Ana_b color=#E9113C text=yes badge=moderator badge=subscriber replyTo=bo "
	     "replyText=is it on?"},
	    {"first month",
	     envelope("App\\Events\\SubscriptionEvent", R"({"chatroom_id":668,"username":"cy","months":1})"),
	     "record name=cy kind=sub"},
	    {"resub", envelope("App\\Events\\SubscriptionEvent", R"({"chatroom_id":668,"username":"cy","months":7})"),
	     "record name=cy kind=resub months=7"},
	    {"one gift",
	     envelope("App\\Events\\GiftedSubscriptionsEvent",
		      R"({"chatroom_id":668,"gifted_usernames":["d\"q"],"gifter_username":"g","gifter_total":3})"),
	     "record name=g kind=subgift to=d\"q total=3"},
	    {"five gifts",
	     envelope("App\\Events\\GiftedSubscriptionsEvent",
		      R"({"gifted_usernames":["a","b","c","d","e"],"gifter_username":"g"})"),
	     "record name=g kind=submysterygift count=5"},
	    {"host",
	     envelope("App\\Events\\StreamHostEvent",
		      R"({"chatroom_id":668,"optional_message":"hi all","number_viewers":31,"host_username":"h"})"),
	     "record name=h text=hi all kind=raid viewers=31"},
	    {"deleted message",
	     envelope("App\\Events\\MessageDeletedEvent", R"({"id":"x","message":{"id":"9f1c"},"aiModerated":false})"),
	     "clear clearId=9f1c"},
	    {"timeout in minutes",
	     envelope(
		 "App\\Events\\UserBannedEvent",
		 R"({"id":"b","user":{"id":1903,"username":"Ana_b"},"banned_by":{"id":1},"permanent":false,"duration":5})"),
	     "clear clearUser=1903 clearName=Ana_b duration=300"},
	    {"ban",
	     envelope("App\\Events\\UserBannedEvent", R"({"user":{"id":"1903","username":"Ana_b"},"permanent":true})"),
	     "clear clearUser=1903 clearName=Ana_b"},
	    {"whole chat", envelope("App\\Events\\ChatroomClearEvent", R"({"id":"c"})"), "clear"},
	    {"another chatroom", envelope("App\\Events\\SubscriptionEvent", R"({"username":"cy"})", "chatrooms.1.v2"),
	     "ignored"},
	    {"sender without a name",
	     envelope("App\\Events\\ChatMessageEvent", R"({"id":"n","content":"x","sender":{}})"), "ignored id=n"},
	    {"data that is no JSON", envelope("App\\Events\\ChatMessageEvent", "{\"id\":"), "ignored"},
	    {"no JSON at all", "pusher", "ignored"},
	    {"established",
	     envelope("pusher:connection_established", R"({"socket_id":"1.2","activity_timeout":30})", ""),
	     "established timeout=30"},
	    {"ping", R"({"event":"pusher:ping","data":{}})", "ping"},
	    {"subscribed", envelope("pusher_internal:subscription_succeeded", "{}"), "subscribed"},
	    {"refused", R"({"event":"pusher:error","data":{"code":4001,"message":"App key not in this cluster"}})",
	     "error error=App key not in this cluster"},
	};
	for (const auto &c : cases)
		EXPECT_EQ(summary(readKickFrame(c.frame, kChannel)), c.expected) << c.what;
	EXPECT_EQ(kickSubscribeFrame("668"),
		  R"({"event":"pusher:subscribe","data":{"auth":"","channel":"chatrooms.668.v2"}})");
}

TEST(KickEvents, ChannelAnswers)
{
	const struct {
		bool completed;
		uint32_t status;
		const char *body;
		const char *expected; // error, or "room live viewers"
	} cases[] = {
	    {true, 200,
	     R"({"id":4242,"user":{"username":"Ana"},"chatroom":{"id":668},"livestream":{"viewer_count":12}})",
	     "668 live 12"},
	    {true, 200, R"({"user":{"username":"Ana"},"chatroom":{"id":668},"livestream":null})", "668 offline -1"},
	    {true, 200, R"({"user":{"username":"Ana"},"livestream":{}})", " live -1"},
	    {true, 200, R"({"user":{}})", "No Kick channel matches this name"},
	    {true, 200, "<html>", "No Kick channel matches this name"},
	    {true, 404, "{}", "No Kick channel matches this name"},
	    {true, 403, "", "Kick answered 403"},
	    {false, 0, "", "Kick is unreachable"},
	};
	for (const auto &c : cases) {
		const KickChannel k = readKickChannel(c.completed, c.status, c.body);
		const std::string got =
		    k.ok ? k.chatroomId + (k.live ? " live " : " offline ") + std::to_string(k.viewers) : k.error;
		EXPECT_EQ(got, c.expected) << c.body;
	}
}
