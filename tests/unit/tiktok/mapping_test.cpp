// What each room message becomes. Bodies are built with the wire writer (these
// tests are about the meaning of the fields, the writer has its own).
#include "tiktok/protobuf_wire.h"
#include "tiktok/push_frame.h"
#include "tiktok/webcast_mapping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vanteo;

namespace {

struct Pb {
	std::string data;
	Pb &v(uint32_t field, uint64_t value)
	{
		writeVarintField(data, field, value);
		return *this;
	}
	Pb &b(uint32_t field, const std::string &value)
	{
		writeBytesField(data, field, value);
		return *this;
	}
	Pb &m(uint32_t field, const Pb &value) { return b(field, value.data); }
};

Pb common(uint64_t id)
{
	return Pb().b(1, "method").v(2, id);
}
Pb user(const std::string &nick, const std::string &uniqueId = "u1", const std::string &idText = "111")
{
	Pb u;
	u.v(1, 42);
	if (!nick.empty())
		u.b(3, nick);
	if (!uniqueId.empty())
		u.b(38, uniqueId);
	if (!idText.empty())
		u.b(1028, idText);
	return u;
}
Pb identity(bool subscriber, bool moderator, bool host)
{
	return Pb().v(2, subscriber).v(5, moderator).v(6, host);
}
Pb emote(const std::string &url)
{
	return Pb().b(1, "id").m(2, Pb().b(1, url));
}
Pb social(const std::string &key)
{
	return Pb().m(1, common(9).m(8, Pb().b(1, key))).m(2, user("Sam"));
}
Pb gift(uint64_t repeat, uint64_t end, uint64_t type, uint64_t diamonds)
{
	Pb details;
	details.m(1, Pb().b(1, "https://img/rose.png").b(1, "https://img/second.png")).v(11, type).v(12, diamonds);
	details.b(16, "Rose");
	return Pb().m(1, common(5)).v(5, repeat).m(7, user("Gia")).v(9, end).m(15, details);
}

// One line per record: the fields the mapping fills.
std::string summary(const ChatMessage &m)
{
	std::string s = "id=" + m.id + " user=" + m.userId + " name=" + m.name;
	if (!m.text.empty())
		s += " text=" + m.text;
	if (!m.eventId.empty())
		s += " event=" + m.eventId;
	if (!m.eventText.empty())
		s += " what=" + m.eventText;
	if (!m.eventCount.empty())
		s += " count=" + m.eventCount;
	if (!m.eventTotal.empty())
		s += " total=" + m.eventTotal;
	if (!m.eventImage.empty())
		s += " image=" + m.eventImage;
	for (const BadgeRef &b : m.badges)
		s += " badge=" + b.setId + "/" + b.version;
	for (const EmoteSpan &e : m.emotes)
		s += " emote=" + std::to_string(e.start) + "-" + std::to_string(e.end) + ":" + e.url;
	return s;
}

} // namespace

TEST(WebcastMapping, EveryMethod)
{
	struct Case {
		const char *what;
		const char *method;
		Pb body;
		const char *record; // nullptr: no record
		int64_t viewers;
	};
	const Case cases[] = {
	    {"chat line", "WebcastChatMessage", Pb().m(1, common(77)).m(2, user("Ann")).b(3, "hello"),
	     "id=77 user=111 name=Ann text=hello", -1},
	    {"no nickname: the unique id", "WebcastChatMessage", Pb().m(2, user("", "abc")).b(3, "x"),
	     "id= user=111 name=abc text=x", -1},
	    {"no name at all", "WebcastChatMessage", Pb().m(2, user("", "", "")).b(3, "x"),
	     "id= user=42 name=TikTok User text=x", -1},
	    {"no user", "WebcastChatMessage", Pb().b(3, "x"), "id= user= name=TikTok User text=x", -1},
	    {"empty text is dropped", "WebcastChatMessage", Pb().m(2, user("Ann")).b(3, ""), nullptr, -1},
	    {"host and moderator", "WebcastChatMessage",
	     Pb().m(2, user("Host")).b(3, "hi").m(18, identity(false, true, true)),
	     "id= user=111 name=Host text=hi badge=broadcaster/1 badge=moderator/1", -1},
	    {"subscriber", "WebcastChatMessage", Pb().m(2, user("S")).b(3, "hi").m(18, identity(true, false, false)),
	     "id= user=111 name=S text=hi badge=subscriber/1", -1},
	    {"two emotes", "WebcastEmoteChatMessage",
	     Pb().m(1, common(3)).m(2, user("Em")).m(3, emote("https://e/1")).m(3, emote("")).m(3, emote("https://e/2")),
	     "id=3 user=111 name=Em text=[emote] [emote] emote=0-6:https://e/1 emote=8-14:https://e/2", -1},
	    {"emotes without addresses", "WebcastEmoteChatMessage", Pb().m(2, user("Em")).m(3, emote("")), nullptr, -1},
	    {"join", "WebcastMemberMessage", Pb().m(1, common(4)).m(2, user("Jo")).v(3, 120).v(10, 1),
	     "id=4 user=111 name=Jo event=join", 120},
	    {"member action 2: only the count", "WebcastMemberMessage", Pb().m(2, user("Jo")).v(3, 121).v(10, 2),
	     nullptr, 121},
	    {"join of a nameless user", "WebcastMemberMessage", Pb().m(2, user("", "", "")).v(10, 1), nullptr, -1},
	    {"join without user", "WebcastMemberMessage", Pb().v(10, 1), nullptr, -1},
	    {"room user sequence", "WebcastRoomUserSeqMessage", Pb().m(1, common(1)).v(3, 250), nullptr, 250},
	    {"room user sequence without count", "WebcastRoomUserSeqMessage", Pb().v(2, 9), nullptr, -1},
	    {"like", "WebcastLikeMessage", Pb().v(2, 15).v(3, 1200).m(5, user("Li")),
	     "id= user=111 name=Li event=like count=15 total=1200", -1},
	    {"like count 0", "WebcastLikeMessage", Pb().v(2, 0).v(3, 1200),
	     "id= user= name=TikTok User event=like "
	     "count=1 total=1200",
	     -1},
	    {"like without counts", "WebcastLikeMessage", Pb().m(5, user("Li")),
	     "id= user=111 name=Li event=like count=1 total=0", -1},
	    {"follow", "WebcastSocialMessage", social("pm_mt_msg_viewer_follow"), "id=9 user=111 name=Sam event=follow",
	     -1},
	    {"share and follow: a follow", "WebcastSocialMessage", social("share_follow"),
	     "id=9 user=111 name=Sam event=follow", -1},
	    {"share", "WebcastSocialMessage", social("pm_main_share_toast"), "id=9 user=111 name=Sam event=share", -1},
	    {"mt_msg: a share", "WebcastSocialMessage", social("pm_mt_msg_viewer"),
	     "id=9 user=111 name=Sam event=share", -1},
	    {"case matters", "WebcastSocialMessage", social("FOLLOW"), nullptr, -1},
	    {"no display key", "WebcastSocialMessage", Pb().m(2, user("Sam")), nullptr, -1},
	    {"combo running", "WebcastGiftMessage", gift(2, 0, 1, 5), nullptr, -1},
	    {"combo ended", "WebcastGiftMessage", gift(3, 1, 1, 5),
	     "id=5 user=111 name=Gia event=gift what=Rose count=3 total=15 image=https://img/rose.png", -1},
	    {"plain gift, repeat 0", "WebcastGiftMessage", gift(0, 0, 0, 1),
	     "id=5 user=111 name=Gia event=gift what=Rose count=1 total=1 image=https://img/rose.png", -1},
	    {"gift without details", "WebcastGiftMessage", Pb().v(5, 4),
	     "id= user= name=TikTok User event=gift count=4 total=0", -1},
	    {"diamond total in 64 bits", "WebcastGiftMessage", gift(1000000, 1, 1, 5000000000ull),
	     "id=5 user=111 name=Gia event=gift what=Rose count=1000000 total=5000000000000000 "
	     "image=https://img/rose.png",
	     -1},
	    {"unknown method", "WebcastRankUpdateMessage", Pb().v(3, 99).b(3, "x"), nullptr, -1},
	    {"method names are exact", "webcastchatmessage", Pb().b(3, "x"), nullptr, -1},
	};
	for (const Case &c : cases) {
		DecodedFrame frame;
		mapRoomMessage(c.method, c.body.data, frame);
		ASSERT_EQ(frame.messages.size(), c.record ? 1u : 0u) << c.what;
		if (c.record) {
			EXPECT_EQ(summary(frame.messages[0]), c.record) << c.what;
			EXPECT_EQ(frame.messages[0].platform, Platform::TikTok) << c.what;
			EXPECT_TRUE(frame.messages[0].color.empty()) << c.what;
			EXPECT_EQ(frame.messages[0].time, 0) << c.what;
		}
		EXPECT_EQ(frame.viewerCount, c.viewers) << c.what;
	}
}

TEST(WebcastMapping, FramesKeepOrderAndTheLastViewerCount)
{
	// A combo of three taps, two counts and a chat line in one frame.
	const std::pair<const char *, Pb> messages[] = {
	    {"WebcastGiftMessage", gift(1, 0, 1, 5)},
	    {"WebcastRoomUserSeqMessage", Pb().v(3, 250)},
	    {"WebcastGiftMessage", gift(2, 0, 1, 5)},
	    {"WebcastChatMessage", Pb().m(2, user("Ann")).b(3, "first")},
	    {"WebcastMemberMessage", Pb().m(2, user("Jo")).v(3, 260).v(10, 2)},
	    {"WebcastGiftMessage", gift(3, 1, 1, 5)},
	};
	Pb response;
	for (const auto &m : messages)
		response.m(1, Pb().b(1, m.first).m(2, m.second));
	response.m(1, Pb().b(1, "WebcastChatMessage")); // no body: skipped
	const std::string frame = buildPushFrame("msg", response.data);
	DecodedFrame d = decodeFrame(frame);
	ASSERT_TRUE(d.accepted);
	ASSERT_EQ(d.messages.size(), 2u);
	EXPECT_EQ(d.messages[0].text, "first");
	EXPECT_EQ(d.messages[1].eventCount, "3");
	EXPECT_EQ(d.messages[1].eventTotal, "15");
	EXPECT_EQ(d.viewerCount, 260);
	EXPECT_TRUE(d.logId.empty());
}
