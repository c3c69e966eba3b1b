// Chat lines as Twitch sends them: the parser, then the records the pages get.
#include "feed/record_summary.h"
#include "common/endpoints.h"
#include "twitch/irc_message.h"
#include "twitch/irc_records.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

using namespace vanteo;
using vanteo::test::recordSummary;

namespace {

const std::string kUser = ":lena!lena@lena.tmi.twitch.tv PRIVMSG #somechannel :";
const std::string kServer = ":tmi.twitch.tv USERNOTICE #somechannel";

std::string emoteRoot()
{
	return endpoint(endpoint_names::kTwitchEmoteCdn).httpsRoot() + "emoticons/v2/";
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
	    {"reply", m.replyTo + "|" + m.replyText + "|" + m.replyParentId + "|" + m.replyThreadId + "|" + m.rewardId},
	    {"badges", badges},
	};
	return fields.at(name);
}

// "tags|prefix|command|params|trailing", each tag as "key=value;" and each
// parameter followed by a space.
std::string outline(const IrcMessage &m)
{
	std::string out;
	for (const IrcTag &tag : m.tags)
		out += std::string(tag.key) + "=" + std::string(tag.value) + ";";
	out += "|" + std::string(m.prefix) + "|" + std::string(m.command) + "|";
	for (std::string_view param : m.params)
		out += std::string(param) + " ";
	return out + "|" + std::string(m.trailing);
}

} // namespace

TEST(IrcParse, SplitsLines)
{
	const std::pair<std::string, std::string> cases[] = {
	    {"PRIVMSG #ch :" + std::string(1500, 'x'), "||PRIVMSG|#ch |" + std::string(1500, 'x')},
	    // Escapes in tag values, an unknown one giving its letter.
	    {"@c=x\\sy\\r\\n\\\\\\x;a=1;b :n!n@h PRIVMSG #ch :hi there",
	     "c=x y\r\n\\x;a=1;|n!n@h|PRIVMSG|#ch |hi there"},
	    {"PING :tmi.twitch.tv", "||PING||tmi.twitch.tv"},
	    {":jf4821.tmi.twitch.tv 353 jf4821 = #somechannel :jf4821",
	     "|jf4821.tmi.twitch.tv|353|jf4821 = #somechannel |jf4821"},
	    {":tmi.twitch.tv CLEARCHAT #dallas", "|tmi.twitch.tv|CLEARCHAT|#dallas |"},
	    // Only the first " :" starts the trailing part; runs of spaces give
	    // no empty parameters.
	    {"PRIVMSG   #ch  :a :b", "||PRIVMSG|#ch |a :b"},
	    {"PRIVMSG #ch :", "||PRIVMSG|#ch |"},
	    {"@=v;k=;x==y CMD", "=v;k=;x==y;||CMD||"},
	    // Unreadable or truncated lines: nothing, or tags without command.
	    {"", "||||"},
	    {"@badges=moderator/1;color=#FF0000", "||||"},
	    {"@a=1 :tmi.twitch.tv", "a=1;||||"},
	    {":tmi.twitch.tv ", "|tmi.twitch.tv|||"},
	    {"@a=1 ", "a=1;||||"},
	    {" :x", "||||x"},
	};
	// The chat reader parses every line into the same message: nothing of
	// a longer or tagged line may stay behind.
	IrcMessage reused;
	for (const auto &[line, expected] : cases) {
		EXPECT_EQ(outline(parseIrcLine(line)), expected) << line;
		parseIrcLine(line, reused);
		EXPECT_EQ(outline(reused), expected) << "into the same message: " << line;
	}
}

// Separators are found 64 bytes at a time; every alignment of the tags and of
// the final space against those blocks must give the same result.
TEST(IrcParse, BlockBoundaries)
{
	for (size_t pad = 0; pad < 140; ++pad) {
		const std::string p(pad, 'x');
		const std::string line = "@p=" + p + ";a=\\s\\:;b==;c;d=e\\ :n!n@h PRIVMSG #ch :hi";
		EXPECT_EQ(outline(parseIrcLine(line)), "p=" + p + ";a= ;;b==;d=e\\;|n!n@h|PRIVMSG|#ch |hi") << pad;
		// Cut inside the tags: no space, nothing at all.
		EXPECT_TRUE(parseIrcLine(line.substr(0, pad + 8)).tags.empty()) << pad;
	}
}

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
	    {"display-name=", "hi", "name", "lena"},
	    {"color=#1E90F", "hi", "color", ""},
	    {"color=#GGGGGG", "hi", "color", ""},
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
	    {"first-msg=true;returning-chatter=1", "hi", "flags", "01"},
	    {"badges=broadcaster/1,,nope,vip/1,a/b/c", "hi", "badges", "[broadcaster|1][vip|1][a|b/c]"},
	    {"reply-parent-display-name=Quinn;reply-parent-msg-body=Kappa\\s\\\\o/\\:;reply-parent-msg-id=b34c;"
	     "reply-thread-parent-msg-id=a001;custom-reward-id=f00d",
	     "hi", "reply", "Quinn|Kappa \\o/;|b34c|a001|f00d"},
	};
	for (const auto &c : cases)
		EXPECT_EQ(field(privmsg(c.tags, c.text), c.field), c.expected) << c.tags << " / " << c.text;
}

TEST(IrcRecords, Emotes)
{
	const std::pair<std::string, std::string> cases[] = {
	    {"25:0-4,12-16/emotesv2_abc:6-10", "0-4:25 12-16:25 6-10:emotesv2_abc"},
	    {"em-ote:0-4/25:6-10", "6-10:25"},
	    {"25:0-4,7-3,8-9,3-3", "0-4:25 8-9:25 3-3:25"},
	    {"25:0-2147483647", "0-2147483647:25"},
	    // Numbers Twitch never sends: skipped rather than misread.
	    {"25:abc-def,1x-4,-1-4,0-99999999999,0-", ""},
	    {"25/:0-4/25:04/25:", ""},
	};
	const std::string root = emoteRoot();
	for (const auto &[tag, expected] : cases) {
		std::string got;
		for (const EmoteSpan &e : privmsg("emotes=" + tag).emotes) {
			const std::string id = e.url.substr(root.size(), e.url.find('/', root.size()) - root.size());
			EXPECT_EQ(e.url, root + id + "/default/dark/2.0") << tag;
			got +=
			    (got.empty() ? "" : " ") + std::to_string(e.start) + "-" + std::to_string(e.end) + ":" + id;
		}
		EXPECT_EQ(got, expected) << tag;
	}
}

TEST(IrcRecords, Usernotices)
{
	const std::string common = "badge-info=subscriber/1;badges=subscriber/0;color=#8A2BE2;"
				   "id=0c4c8a2b;room-id=1337;tmi-sent-ts=1700000000500;user-id=4242;";
	const struct {
		std::string tags;
		std::string text;
		std::string expected; // the event's fields
	} cases[] = {
	    {"display-name=NewSub;login=newsub;msg-id=sub;msg-param-cumulative-months=1;msg-param-months=0;"
	     "msg-param-sub-plan=Prime;system-msg=NewSub\\ssubscribed\\swith\\sPrime.",
	     "", "name=NewSub event=sub what=NewSub subscribed with Prime. plan=Prime months=1"},
	    {"display-name=Old_Timer;login=old_timer;msg-id=resub;msg-param-cumulative-months=14;"
	     "msg-param-sub-plan=1000;system-msg=Old_Timer\\ssubscribed\\sat\\sTier\\s1.",
	     " :still here PogChamp",
	     "name=Old_Timer text=still here PogChamp event=resub what=Old_Timer subscribed at Tier 1. plan=1000 "
	     "months=14"},
	    {"display-name=Legacy;msg-id=resub;msg-param-months=6;msg-param-sub-plan=2000", "",
	     "name=Legacy event=resub plan=2000 months=6"},
	    {"display-name=;login=gifter;msg-id=subgift;msg-param-months=1;msg-param-recipient-display-name=Lucky_One;"
	     "msg-param-sender-count=9;msg-param-sub-plan=1000",
	     "", "name=gifter event=subgift plan=1000 months=1 to=Lucky_One total=9"},
	    {"display-name=BigGifter;msg-id=submysterygift;msg-param-mass-gift-count=5;msg-param-sender-count=50;"
	     "msg-param-sub-plan=1000;system-msg=BigGifter\\sis\\sgifting\\s5\\sTier\\s1\\sSubs!",
	     "",
	     "name=BigGifter event=submysterygift what=BigGifter is gifting 5 Tier 1 Subs! plan=1000 count=5 total=50"},
	    {"display-name=Raider;msg-id=raid;msg-param-viewerCount=120;"
	     "system-msg=120\\sraiders\\sfrom\\sRaider\\shave\\sjoined!",
	     "", "name=Raider event=raid what=120 raiders from Raider have joined! viewers=120"},
	    {"display-name=Mod;msg-id=announcement;msg-param-color=BLUE", " :Giveaway at 9!",
	     "name=Mod text=Giveaway at 9! event=announcement eventColor=BLUE"},
	    {"display-name=Mod;msg-id=announcement;msg-param-color=", " :hi",
	     "name=Mod text=hi event=announcement eventColor=PRIMARY"},
	    // No display name and no login: never the server prefix.
	    {"msg-id=raid", "", "event=raid"},
	};
	for (const auto &c : cases) {
		ChatMessage m = fromUsernotice(parseIrcLine("@" + common + c.tags + " " + kServer + c.text));
		// The chat-line fields come from the same tags.
		EXPECT_EQ(m.color + " " + m.userId + " " + std::to_string(m.subMonths) + " " + std::to_string(m.time),
			  "#8A2BE2 4242 1 1700000000500")
		    << c.tags;
		m.id.clear();
		m.userId.clear();
		m.color.clear();
		m.badges.clear();
		EXPECT_EQ(recordSummary(m), c.expected) << c.tags;
	}
}

TEST(IrcRecords, ClearEventJson)
{
	EXPECT_EQ(clearEventJson(Platform::TikTok, "abc-1", "87654321", "ro\"nni", "350"),
		  R"({"platform":"tiktok","id":"abc-1","userId":"87654321","name":"ro\"nni","duration":"350"})");
}
