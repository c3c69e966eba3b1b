#include "twitch/irc_records.h"

#include "common/endpoints.h"
#include "common/json.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace vanteo {

namespace {

// The tags a record reads. A chat line carries some twenty tags and the
// record needs most of them, so each tag is classified once by a switch on
// its length instead of searching the list once per field.
enum Field : uint8_t {
	kId,
	kUserId,
	kDisplayName,
	kLogin,
	kColor,
	kBits,
	kFirstMsg,
	kReturningChatter,
	kCustomRewardId,
	kReplyName,
	kReplyBody,
	kReplyParentId,
	kReplyThreadId,
	kSentTs,
	kBadges,
	kBadgeInfo,
	kEmotes,
	kMsgId,
	kSystemMsg,
	kSubPlan,
	kCumulativeMonths,
	kMonths,
	kRecipient,
	kMassGiftCount,
	kSenderCount,
	kViewerCount,
	kParamColor,
	kFieldCount,
	kIgnored,
};

Field classify(std::string_view key)
{
	switch (key.size()) {
	case 2:
		return key == "id" ? kId : kIgnored;
	case 4:
		return key == "bits" ? kBits : kIgnored;
	case 5:
		return key == "color" ? kColor : key == "login" ? kLogin : kIgnored;
	case 6:
		return key == "badges" ? kBadges : key == "emotes" ? kEmotes : key == "msg-id" ? kMsgId : kIgnored;
	case 7:
		return key == "user-id" ? kUserId : kIgnored;
	case 9:
		return key == "first-msg" ? kFirstMsg : kIgnored;
	case 10:
		return key == "badge-info" ? kBadgeInfo : key == "system-msg" ? kSystemMsg : kIgnored;
	case 11:
		return key == "tmi-sent-ts" ? kSentTs : kIgnored;
	case 12:
		return key == "display-name" ? kDisplayName : kIgnored;
	case 15:
		return key == "msg-param-color" ? kParamColor : kIgnored;
	case 16:
		return key == "custom-reward-id" ? kCustomRewardId : key == "msg-param-months" ? kMonths : kIgnored;
	case 17:
		return key == "returning-chatter" ? kReturningChatter : kIgnored;
	case 18:
		return key == "msg-param-sub-plan" ? kSubPlan : kIgnored;
	case 19:
		return key == "reply-parent-msg-id" ? kReplyParentId : kIgnored;
	case 21:
		return key == "reply-parent-msg-body"   ? kReplyBody
		       : key == "msg-param-viewerCount" ? kViewerCount
							: kIgnored;
	case 22:
		return key == "msg-param-sender-count" ? kSenderCount : kIgnored;
	case 25:
		return key == "reply-parent-display-name"   ? kReplyName
		       : key == "msg-param-mass-gift-count" ? kMassGiftCount
							    : kIgnored;
	case 26:
		return key == "reply-thread-parent-msg-id" ? kReplyThreadId : kIgnored;
	case 27:
		return key == "msg-param-cumulative-months" ? kCumulativeMonths : kIgnored;
	case 32:
		return key == "msg-param-recipient-display-name" ? kRecipient : kIgnored;
	default:
		return kIgnored;
	}
}

// Values of the tags a record reads; a later duplicate overwrites an earlier
// one, and an empty value counts as absent, as with tagOr.
struct RecordTags {
	std::string_view value[kFieldCount];

	explicit RecordTags(const IrcMessage &message)
	{
		for (const IrcTag &tag : message.tags) {
			Field field = classify(tag.key);
			if (field != kIgnored)
				value[field] = tag.value;
		}
	}

	std::string_view operator[](Field field) const { return value[field]; }
};

// Fills a field of a fresh record. Most of the fields are empty on most
// lines; skipping those saves a call into the string each.
void assign(std::string &out, std::string_view value)
{
	if (!value.empty())
		out.assign(value.data(), value.size());
}

bool isHex(char c)
{
	return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isColor(std::string_view value)
{
	return value.size() == 7 && value[0] == '#' && std::all_of(value.begin() + 1, value.end(), isHex);
}

// Reads an integer the way strtol does: leading blanks, an optional sign,
// then decimal digits up to the first other character; 0 when there are no
// digits, and the nearest limit of T when the number does not fit.
template <typename T> T leadingInteger(std::string_view text)
{
	size_t i = 0;
	while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
		++i;
	bool negative = false;
	if (i < text.size() && (text[i] == '+' || text[i] == '-'))
		negative = text[i++] == '-';
	// The magnitude is gathered unsigned against the limit of the sign, with
	// the limit's last digit split off so that no digit needs a division.
	using U = std::make_unsigned_t<T>;
	constexpr U kMax = static_cast<U>(std::numeric_limits<T>::max());
	const U limit = negative ? kMax + 1 : kMax;
	const U cutoff = negative ? (kMax + 1) / 10 : kMax / 10;
	const U lastDigit = negative ? (kMax + 1) % 10 : kMax % 10;
	U magnitude = 0;
	for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
		U digit = static_cast<U>(text[i] - '0');
		if (magnitude > cutoff || (magnitude == cutoff && digit > lastDigit)) {
			magnitude = limit;
			break;
		}
		magnitude = magnitude * 10 + digit;
	}
	if (!negative)
		return static_cast<T>(magnitude);
	// -magnitude, written so that the most negative value does not overflow.
	return magnitude == 0 ? T(0) : static_cast<T>(-static_cast<T>(magnitude - 1) - 1);
}

// An emote index: only plain digits that fit in 32 bits; anything else
// makes the range unusable.
bool emoteIndex(std::string_view text, int32_t &out)
{
	if (text.empty() || text.size() > 10)
		return false;
	int64_t value = 0;
	for (char c : text) {
		if (c < '0' || c > '9')
			return false;
		value = value * 10 + (c - '0');
	}
	if (value > std::numeric_limits<int32_t>::max())
		return false;
	out = static_cast<int32_t>(value);
	return true;
}

bool isEmoteId(std::string_view id)
{
	return !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
		return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
	});
}

// Calls f for every piece of text between separators, empty pieces included.
template <typename F> void forEachPiece(std::string_view text, char separator, F &&f)
{
	size_t start = 0;
	for (;;) {
		size_t end = text.find(separator, start);
		if (end == std::string_view::npos) {
			f(text.substr(start));
			return;
		}
		f(text.substr(start, end - start));
		start = end + 1;
	}
}

// "https://<emote CDN>/emoticons/v2/", resolved once: endpoint overrides are
// read at start, and looking the table up for every emote would cost more
// than parsing the line.
const std::string &emoteUrlRoot()
{
	static const std::string root = endpoint(endpoint_names::kTwitchEmoteCdn).httpsRoot() + "emoticons/v2/";
	return root;
}

void appendEmotePath(std::string &url, std::string_view emoteId)
{
	url += emoteId;
	url += "/default/dark/2.0";
}

void readBadges(std::string_view tag, std::vector<BadgeRef> &badges)
{
	if (tag.empty())
		return;
	badges.reserve(static_cast<size_t>(std::count(tag.begin(), tag.end(), ',')) + 1);
	forEachPiece(tag, ',', [&badges](std::string_view piece) {
		size_t slash = piece.find('/');
		if (slash == std::string_view::npos)
			return;
		BadgeRef badge;
		assign(badge.setId, piece.substr(0, slash));
		assign(badge.version, piece.substr(slash + 1));
		badges.push_back(std::move(badge));
	});
}

int32_t readSubMonths(std::string_view badgeInfo)
{
	constexpr std::string_view kSubscriber = "subscriber/";
	size_t at = badgeInfo.find(kSubscriber);
	if (at == std::string_view::npos)
		return 0;
	return leadingInteger<int32_t>(badgeInfo.substr(at + kSubscriber.size()));
}

// "id:start-end,start-end/id:start-end"
void readEmotes(std::string_view tag, std::vector<EmoteSpan> &emotes)
{
	if (tag.empty())
		return;
	// Every range has a "-"; the tag's length bounds the count.
	emotes.reserve(static_cast<size_t>(std::count(tag.begin(), tag.end(), '-')));
	forEachPiece(tag, '/', [&emotes](std::string_view group) {
		size_t colon = group.find(':');
		if (colon == std::string_view::npos)
			return;
		std::string_view id = group.substr(0, colon);
		if (!isEmoteId(id))
			return;
		std::string url;
		forEachPiece(group.substr(colon + 1), ',', [&](std::string_view range) {
			size_t dash = range.find('-');
			if (dash == std::string_view::npos)
				return;
			EmoteSpan span;
			if (!emoteIndex(range.substr(0, dash), span.start) ||
			    !emoteIndex(range.substr(dash + 1), span.end) || span.end < span.start)
				return;
			if (url.empty()) {
				url.reserve(emoteUrlRoot().size() + id.size() + 20);
				url = emoteUrlRoot();
				appendEmotePath(url, id);
			}
			span.url = url;
			emotes.push_back(std::move(span));
		});
	});
}

std::string_view loginOf(std::string_view prefix)
{
	return prefix.substr(0, prefix.find('!'));
}

void fillChatFields(const IrcMessage &message, const RecordTags &tags, ChatMessage &out)
{
	out.platform = Platform::Twitch;
	assign(out.id, tags[kId]);
	assign(out.userId, tags[kUserId]);
	std::string_view name = tags[kDisplayName];
	assign(out.name, name.empty() ? loginOf(message.prefix) : name);
	if (isColor(tags[kColor]))
		assign(out.color, tags[kColor]);

	// "/me" arrives as CTCP ACTION: \x01ACTION text\x01.
	constexpr std::string_view kAction = "\x01"
					     "ACTION ";
	std::string_view text = message.trailing;
	if (text.size() > kAction.size() + 1 && text.substr(0, kAction.size()) == kAction && text.back() == '\x01') {
		text = text.substr(kAction.size(), text.size() - kAction.size() - 1);
		out.action = true;
	}
	assign(out.text, text);

	out.bits = leadingInteger<int32_t>(tags[kBits]);
	out.firstMessage = tags[kFirstMsg] == "1";
	out.returningChatter = tags[kReturningChatter] == "1";
	assign(out.rewardId, tags[kCustomRewardId]);
	assign(out.replyTo, tags[kReplyName]);
	assign(out.replyText, tags[kReplyBody]);
	assign(out.replyParentId, tags[kReplyParentId]);
	assign(out.replyThreadId, tags[kReplyThreadId]);
	out.time = leadingInteger<int64_t>(tags[kSentTs]);
	readBadges(tags[kBadges], out.badges);
	out.subMonths = readSubMonths(tags[kBadgeInfo]);
	readEmotes(tags[kEmotes], out.emotes);
}

} // namespace

std::string twitchEmoteUrl(std::string_view emoteId)
{
	std::string url = emoteUrlRoot();
	appendEmotePath(url, emoteId);
	return url;
}

ChatMessage fromPrivmsg(const IrcMessage &message)
{
	RecordTags tags(message);
	ChatMessage out;
	fillChatFields(message, tags, out);
	return out;
}

ChatMessage fromUsernotice(const IrcMessage &message)
{
	RecordTags tags(message);
	ChatMessage out;
	fillChatFields(message, tags, out);
	assign(out.eventId, tags[kMsgId]);
	// The prefix of a USERNOTICE is the server, never the user.
	std::string_view name = tags[kDisplayName].empty() ? tags[kLogin] : tags[kDisplayName];
	out.name = name;
	assign(out.eventText, tags[kSystemMsg]);
	assign(out.eventPlan, tags[kSubPlan]);
	std::string_view months = tags[kCumulativeMonths];
	assign(out.eventMonths, months.empty() ? tags[kMonths] : months);
	assign(out.eventRecipient, tags[kRecipient]);
	assign(out.eventCount, tags[kMassGiftCount]);
	assign(out.eventTotal, tags[kSenderCount]);
	assign(out.eventViewers, tags[kViewerCount]);
	if (out.eventId == "announcement") {
		std::string_view color = tags[kParamColor];
		assign(out.eventColor, color.empty() ? std::string_view("PRIMARY") : color);
	}
	return out;
}

std::string clearEventJson(Platform platform, const std::string &id, const std::string &userId, const std::string &name,
			   const std::string &duration)
{
	std::string out;
	out.reserve(64 + id.size() + userId.size() + name.size() + duration.size());
	out += "{\"platform\":\"";
	out += platformWord(platform);
	out += "\",\"id\":";
	out += jsonQuote(id);
	out += ",\"userId\":";
	out += jsonQuote(userId);
	out += ",\"name\":";
	out += jsonQuote(name);
	out += ",\"duration\":";
	out += jsonQuote(duration);
	out += '}';
	return out;
}

} // namespace vanteo
