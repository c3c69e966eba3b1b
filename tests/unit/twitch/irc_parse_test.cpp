#include "twitch/irc_message.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace vanteo;

namespace {

using Tags = std::vector<std::pair<std::string, std::string>>;

struct LineCase {
	std::string line;
	Tags tags;
	std::string prefix;
	std::string command;
	std::vector<std::string> params;
	std::string trailing;
};

Tags tagsOf(const IrcMessage &m)
{
	Tags out;
	for (const IrcTag &tag : m.tags)
		out.emplace_back(std::string(tag.key), std::string(tag.value));
	return out;
}

std::vector<std::string> paramsOf(const IrcMessage &m)
{
	return std::vector<std::string>(m.params.begin(), m.params.end());
}

void expectLine(const IrcMessage &m, const LineCase &c)
{
	EXPECT_EQ(tagsOf(m), c.tags);
	EXPECT_EQ(m.prefix, c.prefix);
	EXPECT_EQ(m.command, c.command);
	EXPECT_EQ(paramsOf(m), c.params);
	EXPECT_EQ(m.trailing, c.trailing);
}

} // namespace

TEST(IrcParse, SplitsLines)
{
	// clang-format off
	const std::vector<LineCase> cases = {
		{"@a=1;b;c=x\\sy :n!n@h PRIVMSG #ch :hi there",
		 {{"a", "1"}, {"c", "x y"}}, "n!n@h", "PRIVMSG", {"#ch"}, "hi there"},
		{"PING :tmi.twitch.tv", {}, "", "PING", {}, "tmi.twitch.tv"},
		{":jf4821.tmi.twitch.tv 353 jf4821 = #somechannel :jf4821",
		 {}, "jf4821.tmi.twitch.tv", "353", {"jf4821", "=", "#somechannel"}, "jf4821"},
		{":tmi.twitch.tv CLEARCHAT #dallas", {}, "tmi.twitch.tv", "CLEARCHAT", {"#dallas"}, ""},
		// Only the first " :" starts the trailing part; runs of spaces give
		// no empty parameters.
		{"PRIVMSG   #ch  :a :b", {}, "", "PRIVMSG", {"#ch"}, "a :b"},
		{"PRIVMSG #ch :", {}, "", "PRIVMSG", {"#ch"}, ""},
		{"@=v;k=;x==y CMD", {{"", "v"}, {"k", ""}, {"x", "=y"}}, "", "CMD", {}, ""},
		// Unreadable or truncated lines: nothing, or tags without command.
		{"", {}, "", "", {}, ""},
		{"@badges=moderator/1;color=#FF0000", {}, "", "", {}, ""},
		{"@a=1 :tmi.twitch.tv", {{"a", "1"}}, "", "", {}, ""},
		{":tmi.twitch.tv ", {}, "tmi.twitch.tv", "", {}, ""},
		{"@a=1 ", {{"a", "1"}}, "", "", {}, ""},
		{" :x", {}, "", "", {}, "x"},
	};
	// clang-format on
	for (const LineCase &c : cases) {
		SCOPED_TRACE(c.line);
		expectLine(parseIrcLine(c.line), c);
	}
}

TEST(IrcParse, UnescapesTagValues)
{
	const std::vector<std::pair<std::string, std::string>> cases = {
	    {"a\\:b\\\\c\\", "a;b\\c\\"},
	    {"\\s\\r\\n\\:", " \r\n;"},
	    {"\\x\\\\\\s", "x\\ "},
	    {"\\", "\\"},
	};
	for (const auto &[raw, unescaped] : cases) {
		SCOPED_TRACE(raw);
		IrcMessage m = parseIrcLine("@k=" + raw + ";z=1 PING");
		EXPECT_EQ(m.tag("k"), unescaped);
		// Unescaping in place must not disturb the next tag.
		EXPECT_EQ(m.tag("z"), "1");
	}
}

// Separators are found 64 bytes at a time; every alignment of the tags and of
// the final space against those blocks must give the same result.
TEST(IrcParse, BlockBoundaries)
{
	for (size_t pad = 0; pad < 140; ++pad) {
		std::string line = "@p=" + std::string(pad, 'x') + ";a=\\s\\:;b==;c;d=e\\ :n!n@h PRIVMSG #ch :hi";
		SCOPED_TRACE(pad);
		expectLine(parseIrcLine(line), {line,
						{{"p", std::string(pad, 'x')}, {"a", " ;"}, {"b", "="}, {"d", "e\\"}},
						"n!n@h",
						"PRIVMSG",
						{"#ch"},
						"hi"});
		// Cut inside the tags: no space, nothing at all.
		EXPECT_TRUE(parseIrcLine(line.substr(0, pad + 8)).tags.empty());
	}
}

TEST(IrcParse, TagLookups)
{
	// The last duplicate wins; an empty value is there but gives the default.
	IrcMessage m = parseIrcLine("@a=1;a=2;e=;f=x PING");
	EXPECT_EQ(tagOr(m, "a", "d"), "2");
	EXPECT_EQ(tagOr(m, "e", "d"), "d");
	EXPECT_TRUE(m.hasTag("e"));
	EXPECT_FALSE(m.hasTag("missing"));
	EXPECT_EQ(tagOr(parseIrcLine("@a=1;a= PING"), "a", "d"), "d");
}

// The views must follow the text through copies and moves, including when the
// source is gone.
TEST(IrcParse, CopiesAndMovesKeepViewsValid)
{
	const LineCase expected = {"@color=#1E90FF;display-name=Lena\\sB :lena!lena@h PRIVMSG #ch :hello",
				   {{"color", "#1E90FF"}, {"display-name", "Lena B"}},
				   "lena!lena@h",
				   "PRIVMSG",
				   {"#ch"},
				   "hello"};
	auto original = std::make_unique<IrcMessage>(parseIrcLine(expected.line));
	IrcMessage copy(*original);
	IrcMessage assigned;
	assigned = *original;
	original.reset();
	expectLine(copy, expected);
	expectLine(assigned, expected);

	IrcMessage moved(std::move(copy));
	expectLine(moved, expected);
}
