#include "feed/chat_message.h"

#include "feed/badges.h"
#include "common/json.h"

#include <charconv>
#include <chrono>
#include <cstring>

namespace vanteo {

namespace {

const std::string kNameColorPalette[15] = {
    "#ff0000", "#0000ff", "#008000", "#b22222", "#ff7f50", "#9acd32", "#ff4500", "#2e8b57",
    "#daa520", "#d2691e", "#5f9ea0", "#1e90ff", "#ff69b4", "#8a2be2", "#00ff7f",
};

} // namespace

const char *platformWord(Platform platform)
{
	switch (platform) {
	case Platform::Twitch:
		return "twitch";
	case Platform::Kick:
		return "kick";
	case Platform::YouTube:
		return "youtube";
	default:
		return "tiktok";
	}
}

const char *platformLabel(Platform platform)
{
	static const char *const kLabels[kPlatformCount] = {"Twitch", "TikTok", "Kick", "YouTube"};
	const size_t i = static_cast<size_t>(platform);
	return i < kPlatformCount ? kLabels[i] : kLabels[1];
}

const std::string &defaultNameColor(const std::string &name)
{
	uint32_t sum = 0;
	for (unsigned char c : name)
		sum += c;
	return kNameColorPalette[sum % 15];
}

void appendEmote(ChatMessage &message, const std::string &code, const std::string &url)
{
	auto points = [](const std::string &text) {
		int32_t n = 0;
		for (unsigned char c : text)
			n += (c & 0xC0) != 0x80;
		return n;
	};
	const int32_t start = points(message.text);
	message.text += code;
	if (!code.empty())
		message.emotes.push_back({start, start + points(code) - 1, url});
}

int64_t nowMillis()
{
	using namespace std::chrono;
	return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

namespace {
// Badge strings kept per thread between lines; a line shows a few.
constexpr size_t kKeptBadges = 8;
// Room of the per-thread buffer the JSON is written into, kept between
// lines: enough for any usual line.
constexpr size_t kKeptScratch = 64 * 1024;

// Whether any of the eight bytes of `word` needs escaping: a control
// character, a quote or a backslash. Chat text rarely has one, so the
// builders below skip eight bytes at a time.
inline bool wordNeedsEscape(uint64_t word)
{
	constexpr uint64_t kOnes = 0x0101010101010101ull;
	constexpr uint64_t kHigh = 0x8080808080808080ull;
	// A byte below 32, or one equal to the quote or the backslash (a zero
	// byte after the xor), borrows into its high bit; the three share the
	// "& ~word" mask because the quote and the backslash are below 0x80.
	const uint64_t quote = word ^ (kOnes * '"');
	const uint64_t backslash = word ^ (kOnes * '\\');
	const uint64_t found = ((word - kOnes * 32) | (quote - kOnes) | (backslash - kOnes)) & ~word & kHigh;
	return found != 0;
}

// The length of the leading run of `s` (from `i`) that needs no escaping,
// rounded down to whole words.
inline size_t cleanWords(const char *s, size_t i, size_t n)
{
	while (n - i >= 8) {
		uint64_t word;
		std::memcpy(&word, s + i, 8);
		if (wordNeedsEscape(word))
			break;
		i += 8;
	}
	return i;
}

inline char *escapeInto(char *p, const std::string &v)
{
	static const char kHex[] = "0123456789abcdef";
	const char *s = v.data();
	size_t n = v.size();
	size_t run = 0;
	for (size_t i = cleanWords(s, 0, n); i < n; ++i) {
		unsigned char c = static_cast<unsigned char>(s[i]);
		if (c >= 32 && c != '"' && c != '\\')
			continue;
		std::memcpy(p, s + run, i - run);
		p += i - run;
		run = i + 1;
		*p++ = '\\';
		switch (c) {
		case '\t':
			*p++ = 't';
			break;
		case '\n':
			*p++ = 'n';
			break;
		case '\r':
			*p++ = 'r';
			break;
		case '"':
			*p++ = '"';
			break;
		case '\\':
			*p++ = '\\';
			break;
		default:
			*p++ = 'u';
			*p++ = '0';
			*p++ = '0';
			*p++ = kHex[c >> 4];
			*p++ = kHex[c & 15];
		}
	}
	std::memcpy(p, s + run, n - run);
	return p + (n - run);
}
// Writes into a buffer sized in advance (see messageToJson).
struct W {
	char *p;
	template <size_t N> void lit(const char (&s)[N])
	{
		std::memcpy(p, s, N - 1);
		p += N - 1;
	}
	void str(const std::string &v)
	{
		*p++ = '"';
		p = escapeInto(p, v);
		*p++ = '"';
	}
	void num(long long v) { p = std::to_chars(p, p + 24, v).ptr; }
	void boolean(bool b)
	{
		if (b)
			lit("true");
		else
			lit("false");
	}
};
} // namespace

std::string messageToJson(const ChatMessage &message)
{
	std::string out;
	messageToJson(message, out);
	return out;
}

void messageToJson(const ChatMessage &m, std::string &out)
{
	// The shown badges, in strings this thread keeps from line to line.
	struct Badge {
		std::string url, title;
	};
	thread_local std::vector<Badge> badges;
	if (badges.size() < m.badges.size())
		badges.resize(m.badges.size());
	size_t badgeCount = 0;
	for (const BadgeRef &badge : m.badges) {
		Badge &b = badges[badgeCount];
		catalogBadge(badge.setId, badge.version, b.title, b.url);
		if (b.url.empty()) {
			if (!hasBuiltInBadge(badge.setId))
				continue;
			b.url.assign("/badge/").append(badge.setId).append(".png");
		}
		if (b.title.empty())
			b.title = badgeTitle(badge.setId);
		++badgeCount;
	}

	// Written into a buffer this thread keeps, sized for the worst case: six
	// bytes for every byte of text (a control character becomes \u00XX)
	// plus 640 for the keys, punctuation, numbers, booleans and a default
	// colour (about 530 bytes), so that it is filled once and never overrun.
	size_t bound = 640;
	for (const std::string *field :
	     {&m.id,          &m.userId,         &m.name,          &m.text,       &m.color,
	      &m.eventId,     &m.rewardId,       &m.eventText,     &m.eventColor, &m.eventPlan,
	      &m.eventMonths, &m.eventRecipient, &m.eventCount,    &m.eventTotal, &m.eventViewers,
	      &m.eventImage,  &m.replyParentId,  &m.replyThreadId, &m.replyTo,    &m.replyText})
		bound += 6 * field->size();
	for (size_t i = 0; i < badgeCount; ++i)
		bound += 32 + 6 * (badges[i].url.size() + badges[i].title.size());
	for (const EmoteSpan &e : m.emotes)
		bound += 96 + 6 * e.url.size();
	thread_local std::vector<char> scratch;
	if (scratch.size() < bound)
		scratch.resize(bound);
	W w{scratch.data()};
	w.lit("{\"id\":");
	w.str(m.id);
	w.lit(",\"platform\":");
	w.str(platformWord(m.platform));
	w.lit(",\"userId\":");
	w.str(m.userId);
	w.lit(",\"name\":");
	w.str(m.name);
	w.lit(",\"color\":");
	w.str(m.color.empty() ? defaultNameColor(m.name) : m.color);
	w.lit(",\"text\":");
	w.str(m.text);
	w.lit(",\"action\":");
	w.boolean(m.action);
	w.lit(",\"eventId\":");
	w.str(m.eventId);
	w.lit(",\"rewardId\":");
	w.str(m.rewardId);
	w.lit(",\"eventText\":");
	w.str(m.eventText);
	w.lit(",\"eventColor\":");
	w.str(m.eventColor);
	w.lit(",\"eventPlan\":");
	w.str(m.eventPlan);
	w.lit(",\"eventMonths\":");
	w.str(m.eventMonths);
	w.lit(",\"eventRecipient\":");
	w.str(m.eventRecipient);
	w.lit(",\"eventCount\":");
	w.str(m.eventCount);
	w.lit(",\"eventTotal\":");
	w.str(m.eventTotal);
	w.lit(",\"eventViewers\":");
	w.str(m.eventViewers);
	w.lit(",\"eventImage\":");
	w.str(m.eventImage);
	w.lit(",\"replyParentId\":");
	w.str(m.replyParentId);
	w.lit(",\"replyThreadId\":");
	w.str(m.replyThreadId);
	w.lit(",\"subMonths\":");
	w.num(m.subMonths);
	w.lit(",\"bits\":");
	w.num(m.bits);
	w.lit(",\"firstMessage\":");
	w.boolean(m.firstMessage);
	w.lit(",\"returningChatter\":");
	w.boolean(m.returningChatter);
	w.lit(",\"time\":");
	w.num(m.time >= 1 ? m.time : nowMillis());
	w.lit(",\"replyTo\":");
	w.str(m.replyTo);
	w.lit(",\"replyText\":");
	w.str(m.replyText);
	w.lit(",\"badges\":[");
	for (size_t i = 0; i < badgeCount; ++i) {
		const Badge &b = badges[i];
		if (i > 0)
			*w.p++ = ',';
		w.lit("{\"url\":");
		w.str(b.url);
		w.lit(",\"title\":");
		w.str(b.title);
		*w.p++ = '}';
	}
	w.lit("],\"emotes\":[");
	bool first = true;
	for (const EmoteSpan &e : m.emotes) {
		if (!first)
			*w.p++ = ',';
		first = false;
		w.lit("{\"start\":");
		w.num(e.start);
		w.lit(",\"end\":");
		w.num(e.end);
		w.lit(",\"url\":");
		w.str(e.url);
		if (e.zeroWidth)
			w.lit(",\"zeroWidth\":true");
		*w.p++ = '}';
	}
	w.lit("]}");
	out.assign(scratch.data(), static_cast<size_t>(w.p - scratch.data()));
	if (scratch.size() > kKeptScratch)
		std::vector<char>().swap(scratch);
	// A line with very many badges does not pin their room for the
	// thread's life.
	if (badges.size() > kKeptBadges)
		badges.resize(kKeptBadges);
}

} // namespace vanteo
