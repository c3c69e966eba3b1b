#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One IRC line of Twitch chat with its IRCv3 message tags, split into its
// parts. Parsing runs for every chat line on the chat reader's thread, so the
// message keeps a single copy of the line and every part is a view into it:
// one allocation for the text, one for the tags, one for the parameters.
namespace vanteo {

struct IrcTag {
	std::string_view key;
	std::string_view value; // already unescaped
};

struct IrcMessage {
	// Tags in line order. A key may repeat; lookups take the last one.
	std::vector<IrcTag> tags;
	std::string_view prefix; // without its leading ':'
	std::string_view command;
	std::vector<std::string_view> params;
	std::string_view trailing; // after the first " :", or empty

	IrcMessage() = default;
	// Moves keep the views valid: the text lives in a heap block that
	// travels with the message. Copies take their own block and re-point
	// every view that pointed into the old one.
	IrcMessage(IrcMessage &&) noexcept = default;
	IrcMessage &operator=(IrcMessage &&) noexcept = default;
	IrcMessage(const IrcMessage &other);
	IrcMessage &operator=(const IrcMessage &other);

	// Value of the last tag with this key; empty when absent.
	std::string_view tag(std::string_view key) const;
	bool hasTag(std::string_view key) const;

	bool empty() const { return command.empty(); }

private:
	friend void parseIrcLine(std::string_view line, IrcMessage &into);
	std::unique_ptr<char[]> m_text;
	size_t m_size = 0;
	size_t m_room = 0; // bytes of m_text before its zeroed tail
};

// Splits one line (without its CR LF). Never fails: a line that cannot be
// read gives a message with an empty command.
IrcMessage parseIrcLine(std::string_view line);
// The same into an existing message, whose storage is reused: a reader that
// keeps one message for every line allocates nothing per line.
void parseIrcLine(std::string_view line, IrcMessage &into);

// The tag's value when present and non-empty, else the fallback.
std::string tagOr(const IrcMessage &message, std::string_view key, std::string_view fallback);

// In-place unescaping of an IRCv3 tag value ("\:" ";", "\s" space, "\r" CR,
// "\n" LF, "\x" x; a lone final backslash stays). Returns the new length,
// never more than the old one.
size_t unescapeTagValue(char *text, size_t size);

} // namespace vanteo
