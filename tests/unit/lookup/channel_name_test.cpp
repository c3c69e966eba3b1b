// The channel-name rule shared by saving ("/api/config") and checking.
#include "lookup/channel_name.h"

#include <gtest/gtest.h>

using namespace vanteo;

namespace {

struct NameCase {
	std::string input;
	bool twitch;
	const char *name; // "" with `invalid` for "Invalid name"
	bool invalid;
};

void expectCases(const std::vector<NameCase> &cases)
{
	for (const NameCase &c : cases) {
		std::string error;
		EXPECT_EQ(normaliseChannelName(c.input, c.twitch, error), c.name) << c.input << " " << c.twitch;
		EXPECT_EQ(error, c.invalid ? "Invalid name" : "") << c.input << " " << c.twitch;
	}
}

} // namespace

TEST(ChannelName, AddressPrefixes)
{
	expectCases({
	    {"https://www.twitch.tv/Some_Name", true, "some_name", false},
	    {"HTTP://WWW.TWITCH.TV/SomeName/", true, "somename", false},
	    {"https://www.tiktok.com/@Some.One", false, "some.one", false},
	    {"https://www.youtube.com/@Chan-Nel", false, "chan-nel", false},
	    {"https://www.kick.com/Kicker_1", false, "kicker_1", false},
	    // One list for every platform.
	    {"https://kick.com/streamer", true, "streamer", false},
	    // Other schemes, hosts and paths are not addresses of a channel.
	    {"http://twitch.tv/streamer", true, "", true},
	    {"twitch.tv/streamer", true, "", true},
	    {"https://www.youtube.com/channel/UCabc", false, "", true},
	    {"https://www.tiktok.com/@someone?lang=en", false, "", true},
	    // A prefix followed by slashes only leaves nothing, which is no error.
	    {"https://twitch.tv//", true, "", false},
	});
	// The bare prefixes are not stripped, for either rule.
	for (const char *prefix : {"https://www.twitch.tv/", "https://tiktok.com/@"})
		expectCases({{prefix, true, "", true}, {prefix, false, "", true}});
}

TEST(ChannelName, TrimmingLengthsAndCharacters)
{
	const std::string s25(25, 'a'), s26(26, 'a');
	expectCases({
	    {"", true, "", false},
	    {" @@ / \t//", false, "", false},
	    {"\t@@Streamer// \r\n", true, "streamer", false},
	    // "@" and "/" go only at their own end.
	    {"Streamer@", true, "", true},
	    {"/Streamer", true, "", true},
	    // Each rule's limits, just outside.
	    {"ab", true, "", true},
	    {"a", false, "", true},
	    {s25, false, "", true},
	    {s26, true, "", true},
	    {"@Some.Name", false, "some.name", false},
	    {"@Some.Name", true, "", true},
	    {"some-name", true, "", true},
	    {"name\r\nHost: x", false, "", true},
	    {"\xEF\xBD\x8E\xEF\xBD\x81\xEF\xBD\x8D", true, "", true}, // full-width "nam"
	});
}
