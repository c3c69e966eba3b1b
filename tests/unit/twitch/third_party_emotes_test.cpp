#include "common/endpoints.h"
#include "support/fake_services.h"
#include "twitch/emote_providers.h"
#include "twitch/third_party_emotes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vanteo;

namespace {

std::string cdn(const char *name, const std::string &rest)
{
	return "https://" + endpoint(name).authority() + "/emote/" + rest;
}

// code=url, "+zw" for zero-width ones, joined by spaces.
std::string describe(const std::vector<ThirdPartyEmote> &emotes)
{
	std::string out;
	for (const ThirdPartyEmote &e : emotes)
		out += (out.empty() ? "" : " ") + e.code + "=" + e.url + (e.zeroWidth ? "+zw" : "");
	return out;
}

std::string spans(const std::vector<EmoteSpan> &list)
{
	std::string out;
	for (const EmoteSpan &s : list)
		out += (out.empty() ? "" : " ") + std::to_string(s.start) + "-" + std::to_string(s.end) + ":" + s.url +
		       (s.zeroWidth ? "+zw" : "");
	return out;
}

} // namespace

// The answers as the providers document them: the fields read, others
// ignored, unusable entries skipped, bodies that are not the shape give
// nothing.
TEST(ThirdPartyEmotes, ProviderAnswers)
{
	const std::string seven = cdn(endpoint_names::kSevenTvCdn, "");
	const std::string bttv = cdn(endpoint_names::kBttvCdn, "");
	const std::string ffz = cdn(endpoint_names::kFfzCdn, "");
	const std::string sevenSet =
	    R"({"id":"s","emotes":[)"
	    R"({"id":"01A","name":"EZ","flags":0,"data":{"id":"01A","flags":256,"host":{"url":"//cdn.7tv.app/emote/01A"}}},)"
	    R"({"id":"01B","name":"RainTime","flags":1,"data":{"id":"01B","flags":0}},)"
	    R"({"name":"Alias","data":{"id":"01C","flags":256}},)"
	    R"({"id":"../x","name":"Bad"},{"id":"01D","name":"two words"},{"id":"01E","name":""}]})";
	struct Case {
		const char *what;
		std::vector<ThirdPartyEmote> (*read)(const std::string &);
		std::string body;
		std::string expected;
	} cases[] = {
	    {"7TV set: entry flag bit 0; data flag 1<<8 only without it", readSevenTvSet, sevenSet,
	     "EZ=" + seven + "01A/2x.webp RainTime=" + seven + "01B/2x.webp+zw Alias=" + seven + "01C/2x.webp+zw"},
	    {"7TV user: its emote_set", readSevenTvUser,
	     R"({"id":"1","platform":"TWITCH","emote_set":{"emotes":[{"id":"01A","name":"catJAM","flags":0}]}})",
	     "catJAM=" + seven + "01A/2x.webp"},
	    {"BTTV global: a bare list, fixed zero-width codes", readBttvGlobal,
	     R"([{"id":"a1","code":"monkaS","imageType":"gif"},{"id":"a2","code":"cvHazmat","imageType":"png"}])",
	     "monkaS=" + bttv + "a1/2x cvHazmat=" + bttv + "a2/2x+zw"},
	    {"BTTV user: channel then shared", readBttvUser,
	     R"({"id":"x","bots":[],"sharedEmotes":[{"id":"b2","code":"Clap","user":{"name":"u"}}],)"
	     R"("channelEmotes":[{"id":"b1","code":"KEKW","imageType":"png"}]})",
	     "KEKW=" + bttv + "b1/2x Clap=" + bttv + "b2/2x"},
	    {"FFZ global: default sets only; numeric ids; scale 2 when offered", readFfzGlobal,
	     R"({"default_sets": [3 , 5],"sets":{"3":{"id":3,"emoticons":[{"id":9,"name":"ZreknarF",)"
	     R"("modifier":false,"urls":{"1":"u","2":"u"}}]},"4":{"emoticons":[{"id":10,"name":"NotForAll"}]},)"
	     R"("5":{"emoticons":[{"id":11,"name":"ffzW","modifier":true,"urls":{"1":"u"}}]}}})",
	     "ZreknarF=" + ffz + "9/2 ffzW=" + ffz + "11/1+zw"},
	    {"FFZ room: room.set", readFfzRoom,
	     R"({"room":{"twitch_id":1,"set":777},"sets":{"776":{"emoticons":[{"id":1,"name":"Other"}]},)"
	     R"("777":{"emoticons":[{"id":128054,"name":"OMEGALUL","urls":{"1":"u","2":"u"}}]}}})",
	     "OMEGALUL=" + ffz + "128054/2"},
	};
	for (const Case &c : cases)
		EXPECT_EQ(describe(c.read(c.body)), c.expected) << c.what;
}

// Words of a line become spans where they are codes; positions count code
// points. Twitch's own ranges winning, zero-width stacks and the picker's
// groups are account.test.mjs's.
TEST(ThirdPartyEmotes, Matching)
{
	ThirdPartyEmoteIndex index;
	index.add(EmoteProvider::SevenTv, {{"KEKW", "https://a/k", false}, {"RainTime", "https://a/r", true}});
	index.add(EmoteProvider::Bttv, {{"KEKW", "https://b/k", false}, {"Clap", "https://b/c", false}});
	struct Case {
		const char *what;
		std::string text;
		std::string expected;
	} cases[] = {
	    {"first provider added wins a shared code", "KEKW Clap", "0-3:https://a/k 5-8:https://b/c"},
	    {"code points, not bytes; runs of spaces", "  👻é KEKW   Clap ", "5-8:https://a/k 12-15:https://b/c"},
	};
	for (const Case &c : cases) {
		std::vector<EmoteSpan> list;
		index.match(c.text, list);
		EXPECT_EQ(spans(list), c.expected) << c.what;
	}
}

// Against the fakes: a stalled provider and a failing one leave the third's
// emotes in place.
using ThirdPartyEmoteHosts = test::FakesTest;
TEST_F(ThirdPartyEmoteHosts, ProvidersAreIndependent)
{
	m_fakes.command("emotes", "serve");
	m_fakes.command("emotes", "fail", R"({"host":"bttv-api","status":503})");
	m_fakes.command("emotes", "stall", R"({"host":"7tv-api"})");

	ThirdPartyEmoteLoader loader;
	loader.setRoom("22484632");
	auto has = [&](const std::string &text) {
		std::vector<EmoteSpan> list;
		loader.index()->match(text, list);
		return !list.empty();
	};
	EXPECT_TRUE(test::waitUntil([&] { return has("OMEGALUL") && has("ZreknarF"); }));
	EXPECT_FALSE(has("KEKW"));
	EXPECT_FALSE(has("catJAM"));
	// Stopping while a host stalls is the OBS test's (stalled).
	loader.stop();
	m_fakes.reset();
}
