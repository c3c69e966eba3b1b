// What recorded YouTube live pages and get_live_chat answers become.
#include "youtube/youtube_chat.h"

#include <gtest/gtest.h>

#include <string>

using namespace vanteo;

namespace {

std::string answer(
    const std::string &actions,
    const std::string &continuations = R"([{"timedContinuationData":{"continuation":"0ofMyAN%3D","timeoutMs":5180}}])")
{
	return R"({"responseContext":{},"continuationContents":{"liveChatContinuation":{"continuations":)" +
	       continuations + R"(,"actions":[)" + actions + "]}}}";
}

std::string add(const std::string &item)
{
	return R"({"clickTrackingParams":"x","addChatItemAction":{"item":)" + item + R"(,"clientId":"c"}})";
}

const char kAuthor[] =
    R"("id":"Ch1","timestampUsec":"1733530000000000","authorName":{"simpleText":"@ana"},"authorExternalChannelId":"UCana",)"
    R"("authorBadges":[{"liveChatAuthorBadgeRenderer":{"icon":{"iconType":"MODERATOR"},"tooltip":"Moderator"}},)"
    R"j({"liveChatAuthorBadgeRenderer":{"customThumbnail":{"thumbnails":[{"url":"https://yt3.ggpht.com/m"}]},"tooltip":"Member (6 months)"}}])j";

std::string summary(const ChatMessage &m)
{
	std::string out = m.id + "|" + m.userId + "|" + m.name + "|" + m.text + "|" + m.eventId;
	for (const std::string *field :
	     {&m.eventTotal, &m.eventColor, &m.eventMonths, &m.eventCount, &m.eventText, &m.eventImage})
		if (!field->empty())
			out += "|" + *field;
	for (const BadgeRef &b : m.badges)
		out += "|badge " + b.setId;
	for (const EmoteSpan &e : m.emotes)
		out += "|emote " + std::to_string(e.start) + "-" + std::to_string(e.end) + " " + e.url;
	return out;
}

} // namespace

TEST(YouTubeChat, ActionsBecomeRecordsAndRemovals)
{
	const struct {
		const char *what;
		std::string item;
		std::string expected; // "" when nothing is shown
	} cases[] = {
	    {"text with a standard and a channel emoji",
	     R"({"liveChatTextMessageRenderer":{"message":{"runs":[{"text":"hi "},{"emoji":{"emojiId":"👋","shortcuts":[":wave:"],"image":{"thumbnails":[{"url":"https://x/w"}]}}},{"text":" "},{"emoji":{"emojiId":"UCx/abc","isCustomEmoji":true,"image":{"thumbnails":[{"url":"//yt3.ggpht.com/s24"},{"url":"//yt3.ggpht.com/s48"}],"accessibility":{"accessibilityData":{"label":"catjam"}}}}}]},)" +
		 std::string(kAuthor) + "}}",
	     "Ch1|UCana|@ana|hi 👋 :catjam:||badge moderator|badge subscriber|emote 5-12 https://yt3.ggpht.com/s48"},
	    {"Super Chat",
	     R"({"liveChatPaidMessageRenderer":{"purchaseAmountText":{"simpleText":"$5.00"},"bodyBackgroundColor":4280191205,"message":{"runs":[{"text":"great"}]},)" +
		 std::string(kAuthor) + "}}",
	     "Ch1|UCana|@ana|great|superchat|$5.00|#1e88e5|badge moderator|badge subscriber"},
	    {"Super Sticker",
	     R"({"liveChatPaidStickerRenderer":{"id":"S1","authorName":{"simpleText":"@bo"},"purchaseAmountText":{"simpleText":"€2.00"},"backgroundColor":4278237396,"sticker":{"thumbnails":[{"url":"//lh3.googleusercontent.com/st"}],"accessibility":{"accessibilityData":{"label":"A dancing cat"}}}}})",
	     "S1||@bo||supersticker|€2.00|#00b8d4|A dancing cat|https://lh3.googleusercontent.com/st"},
	    {"new member",
	     R"({"liveChatMembershipItemRenderer":{"id":"M1","authorName":{"simpleText":"@cy"},"headerSubtext":{"runs":[{"text":"Welcome to "},{"text":"Fans"},{"text":"!"}]}}})",
	     "M1||@cy||member|Welcome to Fans!"},
	    {"membership milestone",
	     R"({"liveChatMembershipItemRenderer":{"id":"M2","authorName":{"simpleText":"@cy"},"headerPrimaryText":{"runs":[{"text":"Member for "},{"text":"14"},{"text":" months"}]},"headerSubtext":{"simpleText":"Fans"},"message":{"runs":[{"text":"still here"}]}}})",
	     "M2||@cy|still here|member|14|Fans"},
	    {"gifted memberships",
	     R"({"liveChatSponsorshipsGiftPurchaseAnnouncementRenderer":{"id":"G1","authorExternalChannelId":"UCg","header":{"liveChatSponsorshipsHeaderRenderer":{"authorName":{"simpleText":"@gi"},"primaryText":{"runs":[{"text":"Gifted "},{"text":"1,000"},{"text":" Fans memberships"}]}}}}})",
	     "G1|UCg|@gi||membergift|1000"},
	    {"empty text", R"({"liveChatTextMessageRenderer":{"message":{"runs":[]},)" + std::string(kAuthor) + "}}",
	     ""},
	    {"viewer engagement notice", R"({"liveChatViewerEngagementMessageRenderer":{"id":"V"}})", ""},
	};
	for (const auto &c : cases) {
		const YouTubeChatAnswer a = readYouTubeChatAnswer(answer(add(c.item)));
		ASSERT_TRUE(a.ok) << c.what;
		EXPECT_EQ(a.records.empty() ? std::string() : summary(a.records[0]), c.expected) << c.what;
	}

	const YouTubeChatAnswer removals = readYouTubeChatAnswer(
	    answer(R"({"markChatItemAsDeletedAction":{"targetItemId":"Ch1"}},)"
		   R"({"markChatItemsByAuthorAsDeletedAction":{"externalChannelId":"UCana"}},{"other":{}})"));
	ASSERT_EQ(removals.removals.size(), 2u);
	EXPECT_EQ(removals.removals[0].id, "Ch1");
	EXPECT_EQ(removals.removals[1].userId, "UCana");
}

TEST(YouTubeChat, ContinuationsAndUnreadableAnswers)
{
	const YouTubeChatAnswer timed = readYouTubeChatAnswer(answer(""));
	EXPECT_TRUE(timed.ok && !timed.ended);
	EXPECT_EQ(timed.continuation, "0ofMyAN%3D");
	EXPECT_EQ(timed.timeoutMs, 5180);
	const YouTubeChatAnswer invalidation = readYouTubeChatAnswer(
	    answer("", R"([{"invalidationContinuationData":{"continuation":"abc_-","timeoutMs":10000}}])"));
	EXPECT_EQ(invalidation.continuation, "abc_-");
	// A token that would need escaping in the next request is not taken.
	EXPECT_TRUE(readYouTubeChatAnswer(answer("", R"([{"timedContinuationData":{"continuation":"a\"b"}}])")).ended);
	EXPECT_TRUE(readYouTubeChatAnswer(answer("", "[]")).ended);
	for (const std::string body : {std::string(""), std::string("<html>"), std::string(R"({"responseContext":{}})"),
				       std::string(kMaxYouTubeChatAnswer + 1, ' ') + answer("")})
		EXPECT_FALSE(readYouTubeChatAnswer(body).ok) << body.substr(0, 40);
}

TEST(YouTubeChat, LivePages)
{
	const std::string live =
	    R"(<script>ytcfg.set({"INNERTUBE_API_KEY":"AIzaSyA_b-9","INNERTUBE_CLIENT_VERSION":"2.20241205.01.00"});)"
	    R"(var ytInitialPlayerResponse = {"videoDetails":{"videoId":"dQw4w9WgXcQ"},"originalViewCount":"1234"};)"
	    R"(var ytInitialData = {"conversationBar":{"liveChatRenderer":{"continuations":[{"reloadContinuationData":{"continuation":"0ofMyANx%3D","clickTrackingParams":"CA"}}]}}};</script>)";
	const YouTubeLivePage page = readYouTubeLivePage(live);
	EXPECT_TRUE(page.live);
	EXPECT_EQ(page.apiKey, "AIzaSyA_b-9");
	EXPECT_EQ(page.clientVersion, "2.20241205.01.00");
	EXPECT_EQ(page.continuation, "0ofMyANx%3D");
	EXPECT_EQ(page.videoId, "dQw4w9WgXcQ");
	EXPECT_EQ(page.viewers, 1234);
	EXPECT_EQ(
	    youTubeChatRequest(page.clientVersion, page.continuation),
	    R"({"context":{"client":{"clientName":"WEB","clientVersion":"2.20241205.01.00"}},"continuation":"0ofMyANx%3D"})");

	// The channel page YouTube shows instead when nothing is live, and a
	// key that would need escaping.
	EXPECT_FALSE(readYouTubeLivePage(R"({"INNERTUBE_API_KEY":"k","INNERTUBE_CLIENT_VERSION":"2.1"})").live);
	std::string odd = live;
	odd.replace(odd.find("AIzaSyA_b-9"), 11, "AIza\\u0022x");
	EXPECT_FALSE(readYouTubeLivePage(odd).live);
}
