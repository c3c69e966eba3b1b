#include "twitch/irc_message.h"

#include "twitch/byte_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

namespace vanteo {

namespace {

// A Twitch chat line carries 15 to 35 tags.
constexpr size_t kUsualTagCount = 32;

// Re-points a view from one copy of the text to another. Views that point
// elsewhere (a test may build a message by hand from literals) are kept.
void rebase(std::string_view &view, const char *from, size_t size, const char *to)
{
	const char *data = view.data();
	if (!data || std::less<const char *>()(data, from) || std::greater<const char *>()(data, from + size))
		return;
	view = std::string_view(to + (data - from), view.size());
}

// Room for the text of a usual chat line, so that a reused message seldom
// needs a larger block.
constexpr size_t kUsualLineRoom = 1024;

// Room for `room` bytes of text plus a block behind it, so that the block
// scanner may read past the end.
std::unique_ptr<char[]> textBlock(size_t room)
{
	return std::unique_ptr<char[]>(new char[room + scan::kBlock]);
}

// Copies the text and zeroes the block behind it.
void putText(char *to, const char *data, size_t size)
{
	std::memcpy(to, data, size);
	std::memset(to + size, 0, scan::kBlock);
}

void addTag(IrcMessage &message, char *key, char *equals, char *end, bool escaped)
{
	char *value = equals + 1;
	size_t valueSize = static_cast<size_t>(end - value);
	if (escaped)
		valueSize = unescapeTagValue(value, valueSize);
	// Filled member by member: building the pair on the stack and copying
	// it costs a store-forwarding stall per tag.
	IrcTag &tag = message.tags.emplace_back();
	tag.key = std::string_view(key, static_cast<size_t>(equals - key));
	tag.value = std::string_view(value, valueSize);
}

// Splits "@k=v;k=v " from text[0] == '@' to the first space, unescaping
// values where they lie (which only ever shortens them, and only behind the
// scan). Returns the position of the space, or 0 when there is none.
size_t parseTags(IrcMessage &message, char *text, size_t size)
{
	message.tags.reserve(kUsualTagCount);
	char *piece = text + 1;
	char *equals = nullptr;
	bool escaped = false;
	for (size_t block = 1; block < size; block += scan::kBlock) {
		uint64_t hits = scan::matchMask(text + block, ';', '=', '\\', ' ') & scan::firstBits(size - block);
		while (hits) {
			char *at = text + block + scan::lowestBit(hits);
			hits &= hits - 1;
			switch (*at) {
			case '=':
				if (!equals)
					equals = at;
				break;
			case '\\':
				escaped = equals != nullptr;
				break;
			default: // ';' or ' '
				if (equals)
					addTag(message, piece, equals, at, escaped);
				if (*at == ' ')
					return static_cast<size_t>(at - text);
				piece = at + 1;
				equals = nullptr;
				escaped = false;
			}
		}
	}
	return 0;
}

} // namespace

IrcMessage::IrcMessage(const IrcMessage &other)
	: tags(other.tags), prefix(other.prefix), command(other.command), params(other.params),
	  trailing(other.trailing), m_size(other.m_size), m_room(other.m_size)
{
	if (!other.m_text)
		return;
	m_text = textBlock(m_room);
	putText(m_text.get(), other.m_text.get(), m_size);
	const char *from = other.m_text.get();
	char *to = m_text.get();
	for (IrcTag &tag : tags) {
		rebase(tag.key, from, m_size, to);
		rebase(tag.value, from, m_size, to);
	}
	rebase(prefix, from, m_size, to);
	rebase(command, from, m_size, to);
	for (std::string_view &param : params)
		rebase(param, from, m_size, to);
	rebase(trailing, from, m_size, to);
}

IrcMessage &IrcMessage::operator=(const IrcMessage &other)
{
	if (this != &other)
		*this = IrcMessage(other);
	return *this;
}

std::string_view IrcMessage::tag(std::string_view key) const
{
	for (auto it = tags.rbegin(); it != tags.rend(); ++it) {
		if (it->key == key)
			return it->value;
	}
	return std::string_view();
}

bool IrcMessage::hasTag(std::string_view key) const
{
	return std::any_of(tags.begin(), tags.end(), [key](const IrcTag &tag) { return tag.key == key; });
}

size_t unescapeTagValue(char *text, size_t size)
{
	size_t out = 0;
	for (size_t i = 0; i < size; ++i) {
		char c = text[i];
		if (c != '\\' || i + 1 == size) {
			text[out++] = c;
			continue;
		}
		char next = text[++i];
		switch (next) {
		case ':':
			text[out++] = ';';
			break;
		case 's':
			text[out++] = ' ';
			break;
		case 'r':
			text[out++] = '\r';
			break;
		case 'n':
			text[out++] = '\n';
			break;
		default:
			text[out++] = next;
		}
	}
	return out;
}

IrcMessage parseIrcLine(std::string_view line)
{
	IrcMessage message;
	parseIrcLine(line, message);
	return message;
}

void parseIrcLine(std::string_view line, IrcMessage &message)
{
	message.tags.clear();
	message.prefix = std::string_view();
	message.command = std::string_view();
	message.params.clear();
	message.trailing = std::string_view();
	message.m_size = 0;
	if (line.empty())
		return;
	if (!message.m_text || line.size() > message.m_room) {
		message.m_room = std::max(line.size(), kUsualLineRoom);
		message.m_text = textBlock(message.m_room);
	}
	char *text = message.m_text.get();
	const size_t size = line.size();
	putText(text, line.data(), size);
	message.m_size = size;

	size_t pos = 0;
	if (text[0] == '@') {
		size_t tagEnd = parseTags(message, text, size);
		if (tagEnd == 0) {
			message.tags.clear();
			return;
		}
		pos = tagEnd + 1;
	}

	if (pos < size && text[pos] == ':') {
		const char *space = static_cast<const char *>(std::memchr(text + pos, ' ', size - pos));
		if (!space)
			return;
		size_t prefixEnd = static_cast<size_t>(space - text);
		message.prefix = std::string_view(text + pos + 1, prefixEnd - pos - 1);
		pos = prefixEnd + 1;
	}

	std::string_view rest(text + pos, size - pos);
	std::string_view middle = rest;
	if (rest.size() >= 2) {
		size_t colon = rest.find(" :");
		if (colon != std::string_view::npos) {
			message.trailing = rest.substr(colon + 2);
			middle = rest.substr(0, colon);
		}
	}

	size_t start = 0;
	while (start < middle.size()) {
		size_t space = middle.find(' ', start);
		if (space == std::string_view::npos)
			space = middle.size();
		if (space > start) {
			std::string_view piece = middle.substr(start, space - start);
			if (message.command.empty())
				message.command = piece;
			else
				message.params.push_back(piece);
		}
		start = space + 1;
	}
}

std::string tagOr(const IrcMessage &message, std::string_view key, std::string_view fallback)
{
	std::string_view value = message.tag(key);
	if (value.empty())
		value = fallback;
	return std::string(value);
}

} // namespace vanteo
