#include "feed/badges.h"
#include "common/endpoints.h"
#include "twitch/irc_records.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

using namespace vanteo;

namespace {

const std::string kUser = ":lena!lena@lena.tmi.twitch.tv PRIVMSG #somechannel :";
const std::string kServer = ":tmi.twitch.tv USERNOTICE #somechannel";

std::string emoteUrl(const std::string &id)
{
	return endpoint(endpoint_names::kTwitchEmoteCdn).httpsRoot() + "emoticons/v2/" + id + "/default/dark/2.0";
}

ChatMessage privmsg(const std::string &tags, const std::string &text = "hi")
{
	return fromPrivmsg(parseIrcLine("@" + tags + " " + kUser + text));
}

// One field of a chat line, by name.
std::string field(const ChatMessage &m, const std::string &name)
{
	std::string badges;
	for (const BadgeRef &b : m.badges)
		badges += "[" + b.setId + "|" + b.version + "]";
	const std::map<std::string, std::string> fields = {
	    {"name", m.name},
	    {"color", m.color},
	    {"text", m.text + (m.action ? "|action" : "")},
	    {"bits", std::to_string(m.bits)},
	    {"time", std::to_string(m.time)},
	    {"months", std::to_string(m.subMonths)},
	    {"flags", std::to_string(m.firstMessage) + std::to_string(m.returningChatter)},
	    {"badges", badges},
	};
	return fields.at(name);
}

} // namespace

TEST(IrcRecords, ChatLineFields)
{
	const std::string action = "\x01"
				   "ACTION ";
	const struct {
		std::string tags;
		std::string text;
		const char *field;
		std::string expected;
	} cases[] = {
	    {"display-name=Lena_B", "hi", "name", "Lena_B"},
	    {"display-name=", "hi", "name", "lena"},
	    {"x=1", "hi", "name", "lena"},
	    {"color=#1E90FF", "hi", "color", "#1E90FF"},
	    {"color=#1E90F", "hi", "color", ""},
	    {"color=#GGGGGG", "hi", "color", ""},
	    {"x=1", action + "waves\x01", "text", "waves|action"},
	    {"x=1", action + "\x01", "text", action + "\x01"},
	    {"x=1", action + "waves", "text", action + "waves"},
	    {"bits=100", "cheer100 great stream", "bits", "100"},
	    {"bits=abc", "hi", "bits", "0"},
	    {"bits=99999999999", "hi", "bits", std::to_string(INT_MAX)},
	    {"bits=-99999999999", "hi", "bits", std::to_string(INT_MIN)},
	    {"tmi-sent-ts=1700000000123", "hi", "time", "1700000000123"},
	    {"tmi-sent-ts=soon", "hi", "time", "0"},
	    {"badge-info=subscriber/27", "hi", "months", "27"},
	    {"badge-info=founder/3", "hi", "months", "0"},
	    {"badge-info=predictions/blue-1,subscriber/5", "hi", "months", "5"},
	    {"badge-info=subscriber/", "hi", "months", "0"},
	    {"first-msg=1;returning-chatter=0", "hi", "flags", "10"},
	    {"first-msg=true;returning-chatter=1", "hi", "flags", "01"},
	    {"badges=moderator/1,subscriber/24,bits/1000", "hi", "badges", "[moderator|1][subscriber|24][bits|1000]"},
	    {"badges=broadcaster/1,,nope,vip/1,a/b/c", "hi", "badges", "[broadcaster|1][vip|1][a|b/c]"},
	};
	for (const auto &c : cases)
		EXPECT_EQ(field(privmsg(c.tags, c.text), c.field), c.expected) << c.tags << " / " << c.text;
}

TEST(IrcRecords, Emotes)
{
	struct Expected {
		int start;
		int end;
		std::string id;
	};
	const std::vector<std::pair<std::string, std::vector<Expected>>> cases = {
	    {"25:0-4,12-16/emotesv2_abc:6-10", {{0, 4, "25"}, {12, 16, "25"}, {6, 10, "emotesv2_abc"}}},
	    {"em-ote:0-4/25:6-10", {{6, 10, "25"}}},
	    {"25:0-4,7-3,8-9,3-3", {{0, 4, "25"}, {8, 9, "25"}, {3, 3, "25"}}},
	    {"25:0-2147483647", {{0, INT_MAX, "25"}}},
	    // Numbers Twitch never sends: skipped rather than misread.
	    {"25:abc-def,1x-4,-1-4,0-99999999999,0-", {}},
	    {"25/:0-4/25:04/25:", {}},
	    {"25:0-4/", {{0, 4, "25"}}},
	};
	for (const auto &[tag, expected] : cases) {
		SCOPED_TRACE(tag);
		ChatMessage m = privmsg("emotes=" + tag);
		ASSERT_EQ(m.emotes.size(), expected.size());
		for (size_t i = 0; i < expected.size(); ++i) {
			EXPECT_EQ(m.emotes[i].start, expected[i].start);
			EXPECT_EQ(m.emotes[i].end, expected[i].end);
			EXPECT_EQ(m.emotes[i].url, emoteUrl(expected[i].id));
		}
	}
}

TEST(IrcRecords, Usernotices)
{
	const std::string common = "badge-info=subscriber/1;badges=subscriber/0;color=#8A2BE2;"
				   "id=0c4c8a2b-7c8e-4e2f-b3c4-1d2e3f4a5b6c;room-id=1337;"
				   "tmi-sent-ts=1700000000500;user-id=4242;";
	struct Case {
		std::string tags;
		std::string text;
		// eventId, name, eventText, plan, months, recipient, count, total,
		// viewers, color, text
		std::vector<std::string> expected;
	};
	const std::vector<Case> cases = {
	    {"display-name=NewSub;login=newsub;msg-id=sub;msg-param-cumulative-months=1;"
	     "msg-param-months=0;msg-param-sub-plan=Prime;"
	     "system-msg=NewSub\\ssubscribed\\swith\\sPrime.",
	     "",
	     {"sub", "NewSub", "NewSub subscribed with Prime.", "Prime", "1", "", "", "", "", "", ""}},
	    {"display-name=Old_Timer;login=old_timer;msg-id=resub;msg-param-cumulative-months=14;"
	     "msg-param-sub-plan=1000;system-msg=Old_Timer\\ssubscribed\\sat\\sTier\\s1.",
	     " :still here PogChamp",
	     {"resub", "Old_Timer", "Old_Timer subscribed at Tier 1.", "1000", "14", "", "", "", "", "",
	      "still here PogChamp"}},
	    {"display-name=Legacy;msg-id=resub;msg-param-months=6;msg-param-sub-plan=2000",
	     "",
	     {"resub", "Legacy", "", "2000", "6", "", "", "", "", "", ""}},
	    {"display-name=;login=gifter;msg-id=subgift;msg-param-months=1;"
	     "msg-param-recipient-display-name=Lucky_One;msg-param-sender-count=9;"
	     "msg-param-sub-plan=1000",
	     "",
	     {"subgift", "gifter", "", "1000", "1", "Lucky_One", "", "9", "", "", ""}},
	    {"display-name=BigGifter;msg-id=submysterygift;msg-param-mass-gift-count=5;"
	     "msg-param-sender-count=50;msg-param-sub-plan=1000;"
	     "system-msg=BigGifter\\sis\\sgifting\\s5\\sTier\\s1\\sSubs!",
	     "",
	     {"submysterygift", "BigGifter", "BigGifter is gifting 5 Tier 1 Subs!", "1000", "", "", "5", "50", "", "",
	      ""}},
	    {"display-name=Raider;msg-id=raid;msg-param-viewerCount=120;"
	     "system-msg=120\\sraiders\\sfrom\\sRaider\\shave\\sjoined!",
	     "",
	     {"raid", "Raider", "120 raiders from Raider have joined!", "", "", "", "", "", "120", "", ""}},
	    {"display-name=Mod;msg-id=announcement;msg-param-color=BLUE",
	     " :Giveaway at 9!",
	     {"announcement", "Mod", "", "", "", "", "", "", "", "BLUE", "Giveaway at 9!"}},
	    {"display-name=Mod;msg-id=announcement;msg-param-color=",
	     " :hello",
	     {"announcement", "Mod", "", "", "", "", "", "", "", "PRIMARY", "hello"}},
	    {"display-name=Viewer;msg-id=viewermilestone;msg-param-color=BLUE",
	     "",
	     {"viewermilestone", "Viewer", "", "", "", "", "", "", "", "", ""}},
	    // No display name and no login: never the server prefix.
	    {"msg-id=raid", "", {"raid", "", "", "", "", "", "", "", "", "", ""}},
	    {"display-name=Someone", "", {"", "Someone", "", "", "", "", "", "", "", "", ""}},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.tags);
		ChatMessage m = fromUsernotice(parseIrcLine("@" + common + c.tags + " " + kServer + c.text));
		EXPECT_EQ(std::vector<std::string>({m.eventId, m.name, m.eventText, m.eventPlan, m.eventMonths,
						    m.eventRecipient, m.eventCount, m.eventTotal, m.eventViewers,
						    m.eventColor, m.text}),
			  c.expected);
		// The chat-line fields come from the same tags.
		EXPECT_EQ(m.color, "#8A2BE2");
		EXPECT_EQ(m.subMonths, 1);
		EXPECT_EQ(m.time, 1700000000500);
		EXPECT_EQ(m.userId, "4242");
	}
}

// A reply with an action and a reward: the fields only real lines carry.
TEST(IrcRecords, JsonOfARealLine)
{
	const std::string line =
	    R"(@badge-info=;badges=;color=;display-name=;emotes=;first-msg=1;flags=;id=7d1e;mod=0;)"
	    R"(reply-parent-display-name=Quinn_Ray;reply-parent-msg-body=Kappa\s\\o/\:;)"
	    R"(reply-parent-msg-id=b34c;reply-parent-user-id=12345;reply-parent-user-login=quinn_ray;)"
	    R"(reply-thread-parent-msg-id=a001;reply-thread-parent-user-login=quinn_ray;)"
	    R"(returning-chatter=1;room-id=1337;custom-reward-id=f00d;tmi-sent-ts=1700000000999;)"
	    R"(user-id=777;user-type= :lena!lena@lena.tmi.twitch.tv PRIVMSG #somechannel :)"
	    "\x01"
	    "ACTION @Quinn_Ray nice\x01";
	EXPECT_EQ(messageToJson(fromPrivmsg(parseIrcLine(line))),
		  R"({"id":"7d1e","platform":"twitch","userId":"777","name":"lena","color":"#1e90ff",)"
		  R"("text":"@Quinn_Ray nice","action":true,"eventId":"","rewardId":"f00d",)"
		  R"("eventText":"","eventColor":"","eventPlan":"","eventMonths":"","eventRecipient":"",)"
		  R"("eventCount":"","eventTotal":"","eventViewers":"","eventImage":"",)"
		  R"("replyParentId":"b34c","replyThreadId":"a001","subMonths":0,"bits":0,)"
		  R"("firstMessage":true,"returningChatter":true,"time":1700000000999,)"
		  R"("replyTo":"Quinn_Ray","replyText":"Kappa \\o/;","badges":[],"emotes":[]})");
}

TEST(IrcRecords, ClearEventJson)
{
	EXPECT_EQ(clearEventJson(Platform::TikTok, "abc-123", "", "ronni", ""),
		  R"({"platform":"tiktok","id":"abc-123","userId":"","name":"ronni","duration":""})");
	EXPECT_EQ(clearEventJson(Platform::Twitch, "", "87654321", "ro\"nni", "350"),
		  R"({"platform":"twitch","id":"","userId":"87654321","name":"ro\"nni","duration":"350"})");
}
