#include "twitch/third_party_emotes.h"

#include "common/endpoints.h"
#include "common/json.h"
#include "common/obs_json.h"

#include <algorithm>
#include <cstring>

namespace vanteo {

namespace {

const size_t kMaxCodeBytes = 100;
const size_t kMaxIdBytes = 64;

// Emote ids go into image paths: letters, digits, '-' and '_' only.
bool isEmoteId(const std::string &id)
{
	if (id.empty() || id.size() > kMaxIdBytes)
		return false;
	return std::all_of(id.begin(), id.end(), [](char c) {
		return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
		       c == '_';
	});
}

// A code is one word: no spaces or control characters.
bool isCode(const std::string &code)
{
	if (code.empty() || code.size() > kMaxCodeBytes)
		return false;
	return std::none_of(code.begin(), code.end(), [](char c) {
		const unsigned char b = static_cast<unsigned char>(c);
		return b <= 0x20 || b == 0x7F;
	});
}

// A string member, or a positive whole number written out (FrankerFaceZ
// numbers its emotes and sets).
std::string idOf(obs_data_t *item, const char *key)
{
	std::string id = dataString(item, key);
	if (id.empty() && obs_data_has_user_value(item, key)) {
		const long long number = obs_data_get_int(item, key);
		if (number > 0)
			id = std::to_string(number);
	}
	return id;
}

std::string cdnRoot(const char *endpointName)
{
	return "https://" + endpoint(endpointName).authority() + "/emote/";
}

void push(std::vector<ThirdPartyEmote> &out, const std::string &code, const std::string &id, const std::string &root,
	  const char *file, bool zeroWidth)
{
	if (out.size() >= kMaxEmotesPerAnswer || !isCode(code) || !isEmoteId(id))
		return;
	out.push_back({code, root + id + "/" + file, zeroWidth});
}

// 7TV: an active emote's own flags (bit 0: zero-width in this set); an
// entry without them falls back on the emote's flags (bit 8: meant as
// zero-width).
void readSevenTvEmotes(obs_data_t *set, std::vector<ThirdPartyEmote> &out)
{
	const std::string root = cdnRoot(endpoint_names::kSevenTvCdn);
	ArrayRef emotes(obs_data_get_array(set, "emotes"));
	for (size_t i = 0; i < emotes.size(); ++i) {
		DataRef entry(emotes.item(i));
		DataRef data(obs_data_get_obj(entry.get(), "data"));
		std::string id = dataString(entry.get(), "id");
		if (id.empty())
			id = dataString(data.get(), "id");
		const bool zeroWidth = obs_data_has_user_value(entry.get(), "flags")
					   ? (obs_data_get_int(entry.get(), "flags") & 1) != 0
					   : (obs_data_get_int(data.get(), "flags") & (1 << 8)) != 0;
		push(out, dataString(entry.get(), "name"), id, root, "2x.webp", zeroWidth);
	}
}

// BetterTTV marks no emote as zero-width; these few are, by its own list.
bool bttvZeroWidth(const std::string &code)
{
	static const char *const kCodes[] = {"SoSnowy",  "IceCold",   "SantaHat", "TopHat",
					     "ReinDeer", "CandyCane", "cvMask",   "cvHazmat"};
	return std::any_of(std::begin(kCodes), std::end(kCodes), [&](const char *c) { return code == c; });
}

void readBttvList(obs_data_t *holder, const char *key, std::vector<ThirdPartyEmote> &out)
{
	const std::string root = cdnRoot(endpoint_names::kBttvCdn);
	ArrayRef emotes(obs_data_get_array(holder, key));
	for (size_t i = 0; i < emotes.size(); ++i) {
		DataRef emote(emotes.item(i));
		const std::string code = dataString(emote.get(), "code");
		push(out, code, dataString(emote.get(), "id"), root, "2x", bttvZeroWidth(code));
	}
}

// FrankerFaceZ: "modifier" emotes are drawn over the emote before them.
void readFfzSet(obs_data_t *sets, const std::string &setId, std::vector<ThirdPartyEmote> &out)
{
	const std::string root = cdnRoot(endpoint_names::kFfzCdn);
	DataRef set(obs_data_get_obj(sets, setId.c_str()));
	ArrayRef emotes(obs_data_get_array(set.get(), "emoticons"));
	for (size_t i = 0; i < emotes.size(); ++i) {
		DataRef emote(emotes.item(i));
		DataRef urls(obs_data_get_obj(emote.get(), "urls"));
		const char *scale = dataString(urls.get(), "2").empty() ? "1" : "2";
		push(out, dataString(emote.get(), "name"), idOf(emote.get(), "id"), root, scale,
		     obs_data_get_bool(emote.get(), "modifier"));
	}
}

// The numbers of a top-level list of numbers (libobs reads only lists of
// objects): `"key": [3, 4]`. At most 16.
std::vector<std::string> numberList(const std::string &body, const char *key)
{
	std::vector<std::string> numbers;
	size_t at = body.find(std::string("\"") + key + "\"");
	if (at == std::string::npos)
		return numbers;
	at = body.find_first_not_of(" \t\r\n", at + std::strlen(key) + 2);
	if (at == std::string::npos || body[at] != ':')
		return numbers;
	at = body.find_first_not_of(" \t\r\n", at + 1);
	if (at == std::string::npos || body[at] != '[')
		return numbers;
	std::string current;
	for (++at; at < body.size() && numbers.size() < 16; ++at) {
		const char c = body[at];
		if (c >= '0' && c <= '9' && current.size() < 20) {
			current += c;
			continue;
		}
		if (!current.empty())
			numbers.push_back(current);
		current.clear();
		if (c != ',' && c != ' ' && c != '\t' && c != '\r' && c != '\n')
			break;
	}
	return numbers;
}

} // namespace

const char *emoteProviderLabel(EmoteProvider provider)
{
	switch (provider) {
	case EmoteProvider::SevenTv:
		return "7TV";
	case EmoteProvider::Bttv:
		return "BetterTTV";
	default:
		return "FrankerFaceZ";
	}
}

std::vector<ThirdPartyEmote> readSevenTvSet(const std::string &body)
{
	std::vector<ThirdPartyEmote> out;
	DataRef root(DataRef::parse(body));
	readSevenTvEmotes(root.get(), out);
	return out;
}

std::vector<ThirdPartyEmote> readSevenTvUser(const std::string &body)
{
	std::vector<ThirdPartyEmote> out;
	DataRef root(DataRef::parse(body));
	DataRef set(obs_data_get_obj(root.get(), "emote_set"));
	readSevenTvEmotes(set.get(), out);
	return out;
}

std::vector<ThirdPartyEmote> readBttvGlobal(const std::string &body)
{
	std::vector<ThirdPartyEmote> out;
	// The answer is a bare list; libobs reads objects only.
	const size_t first = body.find_first_not_of(" \t\r\n");
	if (first == std::string::npos || body[first] != '[')
		return out;
	DataRef root(DataRef::parse("{\"list\":" + body + "}"));
	readBttvList(root.get(), "list", out);
	return out;
}

std::vector<ThirdPartyEmote> readBttvUser(const std::string &body)
{
	std::vector<ThirdPartyEmote> out;
	DataRef root(DataRef::parse(body));
	readBttvList(root.get(), "channelEmotes", out);
	readBttvList(root.get(), "sharedEmotes", out);
	return out;
}

std::vector<ThirdPartyEmote> readFfzGlobal(const std::string &body)
{
	std::vector<ThirdPartyEmote> out;
	DataRef root(DataRef::parse(body));
	if (!root)
		return out;
	DataRef sets(obs_data_get_obj(root.get(), "sets"));
	for (const std::string &setId : numberList(body, "default_sets"))
		readFfzSet(sets.get(), setId, out);
	return out;
}

std::vector<ThirdPartyEmote> readFfzRoom(const std::string &body)
{
	std::vector<ThirdPartyEmote> out;
	DataRef root(DataRef::parse(body));
	DataRef room(obs_data_get_obj(root.get(), "room"));
	DataRef sets(obs_data_get_obj(root.get(), "sets"));
	const std::string setId = idOf(room.get(), "set");
	if (!setId.empty())
		readFfzSet(sets.get(), setId, out);
	return out;
}

void ThirdPartyEmoteIndex::add(EmoteProvider provider, const std::vector<ThirdPartyEmote> &emotes)
{
	for (const ThirdPartyEmote &emote : emotes) {
		if (!m_codes.emplace(emote.code, Entry{emote.url, emote.zeroWidth, provider}).second)
			continue;
		m_order.push_back(emote.code);
		m_shortest = std::min(m_shortest, emote.code.size());
		m_longest = std::max(m_longest, emote.code.size());
		m_firstBytes[static_cast<unsigned char>(emote.code[0])] = true;
	}
}

std::vector<EmoteSpan> ThirdPartyEmoteIndex::find(const std::string &text, const std::vector<EmoteSpan> &taken) const
{
	std::vector<EmoteSpan> found;
	if (m_codes.empty())
		return found;
	const size_t n = text.size();
	std::string word;
	int32_t point = 0; // code points before i
	for (size_t i = 0; i < n;) {
		if (text[i] == ' ') {
			++i;
			++point;
			continue;
		}
		const size_t begin = i;
		const int32_t first = point;
		for (; i < n && text[i] != ' '; ++i) {
			// UTF-8 continuation bytes (10xxxxxx) add no code point.
			if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
				++point;
		}
		const size_t length = i - begin;
		if (length < m_shortest || length > m_longest || !m_firstBytes[static_cast<unsigned char>(text[begin])])
			continue;
		word.assign(text, begin, length);
		auto code = m_codes.find(word);
		if (code == m_codes.end())
			continue;
		const int32_t last = point - 1;
		const bool overlaps = std::any_of(taken.begin(), taken.end(), [&](const EmoteSpan &span) {
			return span.start <= last && first <= span.end;
		});
		if (overlaps)
			continue;
		EmoteSpan span;
		span.start = first;
		span.end = last;
		span.url = code->second.url;
		span.zeroWidth = code->second.zeroWidth;
		found.push_back(std::move(span));
	}
	return found;
}

void ThirdPartyEmoteIndex::match(const std::string &text, std::vector<EmoteSpan> &spans) const
{
	addEmoteSpans(spans, find(text, spans));
}

void addEmoteSpans(std::vector<EmoteSpan> &spans, std::vector<EmoteSpan> found)
{
	if (found.empty())
		return;
	for (EmoteSpan &span : found)
		spans.push_back(std::move(span));
	std::stable_sort(spans.begin(), spans.end(),
			 [](const EmoteSpan &a, const EmoteSpan &b) { return a.start < b.start; });
}

std::string ThirdPartyEmoteIndex::pickerEmotes() const
{
	std::string out;
	for (const std::string &code : m_order) {
		const Entry &entry = m_codes.at(code);
		if (!out.empty())
			out += ',';
		out += "{\"name\":" + jsonQuote(code) + ",\"url\":" + jsonQuote(entry.url) +
		       ",\"group\":" + jsonQuote(emoteProviderLabel(entry.provider)) + "}";
	}
	return out;
}

std::string ThirdPartyEmoteIndex::pickerGroups() const
{
	bool present[kEmoteProviderCount] = {};
	for (const auto &item : m_codes)
		present[static_cast<int>(item.second.provider)] = true;
	std::string out;
	for (int p = 0; p < kEmoteProviderCount; ++p) {
		if (!present[p])
			continue;
		if (!out.empty())
			out += ',';
		out +=
		    "{\"name\":" + jsonQuote(emoteProviderLabel(static_cast<EmoteProvider>(p))) + ",\"avatar\":\"\"}";
	}
	return out;
}

std::string withThirdPartyEmotes(const std::string &catalog, const ThirdPartyEmoteIndex &index)
{
	// Names inside the catalogue are JSON strings, whose quotes are
	// escaped: the separator below occurs once, between the two lists.
	static const std::string kSeparator = "],\"groups\":[";
	const size_t at = catalog.rfind(kSeparator);
	if (index.empty() || at == std::string::npos || catalog.size() < at + kSeparator.size() + 2)
		return catalog;
	std::string out = catalog.substr(0, at);
	if (out.back() != '[')
		out += ',';
	out += index.pickerEmotes();
	out += kSeparator;
	std::string groups = catalog.substr(at + kSeparator.size(), catalog.size() - at - kSeparator.size() - 2);
	out += groups;
	if (!groups.empty())
		out += ',';
	out += index.pickerGroups();
	out += "]}";
	return out;
}

} // namespace vanteo
