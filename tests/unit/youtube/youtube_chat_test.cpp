// What recorded YouTube get_live_chat answers become, and what the Kick and
// YouTube channel lookups read.
#include "feed/record_summary.h"
#include "kick/kick_channel.h"
#include "youtube/youtube_chat.h"

#include <gtest/gtest.h>

#include <string>

using namespace vanteo;
using vanteo::test::recordSummary;

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
	     "id=Ch1 user=UCana name=@ana text=hi 👋 :catjam: badge=moderator/youtube badge=subscriber/youtube "
	     "emote=5-12:https://yt3.ggpht.com/s48"},
	    {"Super Chat",
	     R"({"liveChatPaidMessageRenderer":{"purchaseAmountText":{"simpleText":"$5.00"},"bodyBackgroundColor":4280191205,"message":{"runs":[{"text":"great"}]},)" +
		 std::string(kAuthor) + "}}",
	     "id=Ch1 user=UCana name=@ana text=great event=superchat total=$5.00 eventColor=#1e88e5 "
	     "badge=moderator/youtube badge=subscriber/youtube"},
	    {"Super Sticker",
	     R"({"liveChatPaidStickerRenderer":{"id":"S1","authorName":{"simpleText":"@bo"},"purchaseAmountText":{"simpleText":"€2.00"},"backgroundColor":4278237396,"sticker":{"thumbnails":[{"url":"//lh3.googleusercontent.com/st"}],"accessibility":{"accessibilityData":{"label":"A dancing cat"}}}}})",
	     "id=S1 name=@bo event=supersticker what=A dancing cat total=€2.00 eventColor=#00b8d4 "
	     "image=https://lh3.googleusercontent.com/st"},
	    {"new member",
	     R"({"liveChatMembershipItemRenderer":{"id":"M1","authorName":{"simpleText":"@cy"},"headerSubtext":{"runs":[{"text":"Welcome to "},{"text":"Fans"},{"text":"!"}]}}})",
	     "id=M1 name=@cy event=member what=Welcome to Fans!"},
	    {"membership milestone",
	     R"({"liveChatMembershipItemRenderer":{"id":"M2","authorName":{"simpleText":"@cy"},"headerPrimaryText":{"runs":[{"text":"Member for "},{"text":"14"},{"text":" months"}]},"headerSubtext":{"simpleText":"Fans"},"message":{"runs":[{"text":"still here"}]}}})",
	     "id=M2 name=@cy text=still here event=member what=Fans months=14"},
	    {"gifted memberships",
	     R"({"liveChatSponsorshipsGiftPurchaseAnnouncementRenderer":{"id":"G1","authorExternalChannelId":"UCg","header":{"liveChatSponsorshipsHeaderRenderer":{"authorName":{"simpleText":"@gi"},"primaryText":{"runs":[{"text":"Gifted "},{"text":"1,000"},{"text":" Fans memberships"}]}}}}})",
	     "id=G1 user=UCg name=@gi event=membergift count=1000"},
	    {"empty text", R"({"liveChatTextMessageRenderer":{"message":{"runs":[]},)" + std::string(kAuthor) + "}}",
	     ""},
	};
	for (const auto &c : cases) {
		const YouTubeChatAnswer a = readYouTubeChatAnswer(answer(add(c.item)));
		ASSERT_TRUE(a.ok) << c.what;
		EXPECT_EQ(a.records.empty() ? std::string() : recordSummary(a.records[0]), c.expected) << c.what;
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
	for (const std::string body : {std::string("<html>"), std::string(R"({"responseContext":{}})"),
				       std::string(kMaxYouTubeChatAnswer + 1, ' ') + answer("")})
		EXPECT_FALSE(readYouTubeChatAnswer(body).ok) << body.substr(0, 40);
}

// The channel lookups: Kick's channel API ("room live viewers") and YouTube's
// live page ("video live viewers key version continuation"), or the error.
TEST(ChannelLookups, KickApiAndYouTubeLivePage)
{
	auto kick = [](bool completed, uint32_t status, const std::string &body) {
		const KickChannel k = readKickChannel(completed, status, body);
		return k.ok ? k.chatroomId + (k.live ? " live " : " offline ") + std::to_string(k.viewers) : k.error;
	};
	auto youtube = [](const std::string &body) {
		const YouTubeLivePage p = readYouTubeLivePage(body);
		return p.live ? p.videoId + " live " + std::to_string(p.viewers) + " " + p.apiKey + " " +
				    p.clientVersion + " " + p.continuation
			      : "not live";
	};
	const std::string live =
	    R"(<script>ytcfg.set({"INNERTUBE_API_KEY":"AIzaSyA_b-9","INNERTUBE_CLIENT_VERSION":"2.20241205.01.00"});)"
	    R"(var ytInitialPlayerResponse = {"videoDetails":{"videoId":"dQw4w9WgXcQ"},"originalViewCount":"1234"};)"
	    R"(var ytInitialData = {"conversationBar":{"liveChatRenderer":{"continuations":[{"reloadContinuationData":{"continuation":"0ofMyANx%3D","clickTrackingParams":"CA"}}]}}};</script>)";
	std::string oddKey = live; // a key that would need escaping
	oddKey.replace(oddKey.find("AIzaSyA_b-9"), 11, "AIza\\u0022x");
	const std::pair<std::string, std::string> cases[] = {
	    {kick(true, 200,
		  R"({"id":4242,"user":{"username":"Ana"},"chatroom":{"id":668},"livestream":{"viewer_count":12}})"),
	     "668 live 12"},
	    {kick(true, 200, R"({"user":{"username":"Ana"},"chatroom":{"id":668},"livestream":null})"),
	     "668 offline -1"},
	    {kick(true, 200, R"({"user":{"username":"Ana"},"livestream":{}})"), " live -1"},
	    {kick(true, 200, R"({"user":{}})"), "No Kick channel matches this name"},
	    {kick(true, 404, "{}"), "No Kick channel matches this name"},
	    {kick(true, 403, ""), "Kick answered 403"},
	    {kick(false, 0, ""), "Kick is unreachable"},
	    {youtube(live), "dQw4w9WgXcQ live 1234 AIzaSyA_b-9 2.20241205.01.00 0ofMyANx%3D"},
	    // The channel page YouTube shows instead when nothing is live.
	    {youtube(R"({"INNERTUBE_API_KEY":"k","INNERTUBE_CLIENT_VERSION":"2.1"})"), "not live"},
	    {youtube(oddKey), "not live"},
	};
	for (const auto &[got, expected] : cases)
		EXPECT_EQ(got, expected);
	EXPECT_EQ(
	    youTubeChatRequest("2.20241205.01.00", "0ofMyANx%3D"),
	    R"({"context":{"client":{"clientName":"WEB","clientVersion":"2.20241205.01.00"}},"continuation":"0ofMyANx%3D"})");
}
