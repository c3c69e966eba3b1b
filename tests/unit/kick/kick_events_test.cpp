// What each recorded Kick chat frame becomes: the envelope carries the
// event's data as JSON written into a string.
#include "common/json.h"
#include "common/endpoints.h"
#include "feed/record_summary.h"
#include "kick/kick_events.h"

#include <gtest/gtest.h>

#include <string>

using namespace vanteo;
using vanteo::test::recordSummary;

namespace {

const char kChannel[] = "chatrooms.668.v2";

std::string envelope(const std::string &event, const std::string &data, const std::string &channel = kChannel)
{
	return "{\"event\":" + jsonQuote(event) + ",\"data\":" + jsonQuote(data) +
	       ",\"channel\":" + jsonQuote(channel) + "}";
}

// The frame's kind, then the fields it filled in.
std::string summary(const KickFrame &f)
{
	static const char *kKinds[] = {"ignored",    "established", "ping",   "pong",
				       "subscribed", "error",       "record", "clear"};
	std::string out = kKinds[static_cast<int>(f.kind)];
	const std::string record = recordSummary(f.record);
	if (!record.empty())
		out += " " + record;
	const std::pair<const char *, std::string> fields[] = {{"clearId", f.clear.id},
							       {"clearUser", f.clear.userId},
							       {"clearName", f.clear.name},
							       {"duration", f.clear.duration},
							       {"error", f.error}};
	for (const auto &[key, value] : fields)
		if (!value.empty())
			out += std::string(" ") + key + "=" + value;
	if (f.activityTimeoutSeconds)
		out += " timeout=" + std::to_string(f.activityTimeoutSeconds);
	return out;
}

} // namespace

TEST(KickEvents, RecordedFramesMapToRecordsAndRemovals)
{
	const std::string files = endpoint(endpoint_names::kKickFiles).httpsRoot() + "emotes/";
	const std::string sender =
	    R"("sender":{"id":1903,"username":"Ana_b","slug":"ana-b","identity":{"color":"#E9113C","badges":[{"type":"moderator","text":"Moderator"},{"type":"subscriber","text":"Subscriber","count":4},{"type":"sidekick","text":"?"}]}})";
	const std::string plain = R"("sender":{"id":1,"username":"Bo"})";
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
	     "record id=9f1c user=1903 name=Ana_b color=#E9113C text=héllo KEKWkkHuh ok badge=moderator/kick "
	     "badge=subscriber/kick emote=6-9:" +
		 files + "37226/fullsize emote=10-14:" + files + "39261/fullsize"},
	    {"markup that is not an emote stays text",
	     envelope("App\\Events\\ChatMessageEvent",
		      R"({"id":"a","content":"[emote:x1:no] [emote:5:] [emote:7:half",)" + plain + "}"),
	     "record id=a user=1 name=Bo text=[emote:x1:no] [emote:5:] [emote:7:half"},
	    {"reply",
	     envelope(
		 "App\\Events\\ChatMessageEvent",
		 R"({"id":"r","content":"yes","type":"reply",)" + plain +
		     R"(,"metadata":{"original_sender":{"id":5,"username":"bo"},"original_message":{"id":"o1","content":"is it on?"}}})"),
	     "record id=r user=1 name=Bo text=yes replyTo=bo replyText=is it on?"},
	    {"first month", envelope("App\\Events\\SubscriptionEvent", R"({"username":"cy","months":1})"),
	     "record name=cy event=sub"},
	    {"resub", envelope("App\\Events\\SubscriptionEvent", R"({"username":"cy","months":7})"),
	     "record name=cy event=resub months=7"},
	    {"one gift",
	     envelope("App\\Events\\GiftedSubscriptionsEvent",
		      R"({"gifted_usernames":["d\"q"],"gifter_username":"g","gifter_total":3})"),
	     "record name=g event=subgift to=d\"q total=3"},
	    {"five gifts",
	     envelope("App\\Events\\GiftedSubscriptionsEvent",
		      R"({"gifted_usernames":["a","b","c","d","e"],"gifter_username":"g"})"),
	     "record name=g event=submysterygift count=5"},
	    {"host",
	     envelope("App\\Events\\StreamHostEvent",
		      R"({"optional_message":"hi all","number_viewers":31,"host_username":"h"})"),
	     "record name=h text=hi all event=raid viewers=31"},
	    {"deleted message",
	     envelope("App\\Events\\MessageDeletedEvent", R"({"id":"x","message":{"id":"9f1c"},"aiModerated":false})"),
	     "clear clearId=9f1c"},
	    {"timeout in minutes",
	     envelope("App\\Events\\UserBannedEvent",
		      R"({"user":{"id":1903,"username":"Ana_b"},"permanent":false,"duration":5})"),
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
