// Chat lines as the chat reader handles them: line -> IrcMessage -> record ->
// the JSON the pages receive, over a corpus of recorded-style Twitch lines.
// Rates are reported per line (items_per_second) so that run_irc_bench.sh can
// set them beside the tmi.js peer's rate for the same corpus.
#include "feed/badges.h"
#include "feed/chat_message.h"
#include "twitch/irc_message.h"
#include "twitch/irc_records.h"
#include "twitch/third_party_emotes.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace vanteo;

// VANTEO_IRC_CORPUS in the environment replaces the committed corpus.
const std::vector<std::string> &corpus()
{
	static const std::vector<std::string> lines = [] {
		const char *path = std::getenv("VANTEO_IRC_CORPUS");
		std::ifstream in(path && *path ? path : VANTEO_IRC_CORPUS);
		std::vector<std::string> out;
		for (std::string line; std::getline(in, line);) {
			if (!line.empty() && line.back() == '\r')
				line.pop_back();
			if (!line.empty())
				out.push_back(line);
		}
		if (out.empty()) {
			std::fprintf(stderr, "bench_irc: empty or missing corpus\n");
			std::exit(1);
		}
		return out;
	}();
	return lines;
}

// A channel's badge catalogue as it is once loaded: the global sets and the
// channel's subscriber tiers, so that badge lookups hit as they do live.
void fillBadgeCatalog()
{
	static const char *const kSets[][2] = {
	    {"broadcaster", "1"}, {"moderator", "1"}, {"vip", "1"},         {"premium", "1"},
	    {"turbo", "1"},       {"partner", "1"},   {"staff", "1"},       {"bits", "1"},
	    {"bits", "100"},      {"bits", "1000"},   {"bits", "5000"},     {"sub-gifter", "1"},
	    {"sub-gifter", "5"},  {"no_audio", "1"},  {"glhf-pledge", "1"}, {"founder", "0"},
	};
	for (const auto &set : kSets)
		catalogSetBadge(set[0], set[1], std::string(set[0]) + " " + set[1],
				"https://static-cdn.jtvnw.net/badges/v1/" + std::string(set[0]) + "-" + set[1] + "/2");
	for (int months : {0, 2, 3, 6, 9, 12, 18, 24, 36, 48})
		catalogSetBadge("subscriber", std::to_string(months), std::to_string(months) + "-Month Subscriber",
				"https://static-cdn.jtvnw.net/badges/v1/sub-" + std::to_string(months) + "/2");
}

// What the chat reader does with each line before the hub broadcasts it.
std::string handleLine(const std::string &line)
{
	IrcMessage message = parseIrcLine(line);
	if (message.command == "PRIVMSG") {
		ChatMessage record = fromPrivmsg(message);
		return record.text.empty() ? std::string() : messageToJson(record);
	}
	if (message.command == "USERNOTICE") {
		ChatMessage record = fromUsernotice(message);
		return record.eventId.empty() ? std::string() : messageToJson(record);
	}
	if (message.command == "CLEARMSG")
		return clearEventJson(Platform::Twitch, tagOr(message, "target-msg-id", ""), "",
				      tagOr(message, "login", ""), "");
	if (message.command == "CLEARCHAT")
		return clearEventJson(Platform::Twitch, "", tagOr(message, "target-user-id", ""),
				      std::string(message.trailing), tagOr(message, "ban-duration", ""));
	return std::string();
}

enum class Stage { Parse, Record, Json };

// Parse and record only: the part of the work before messageToJson.
size_t recordOnly(const std::string &line)
{
	IrcMessage message = parseIrcLine(line);
	if (message.command == "PRIVMSG")
		return fromPrivmsg(message).text.size();
	if (message.command == "USERNOTICE")
		return fromUsernotice(message).eventId.size();
	return message.command.size();
}

void runCorpus(benchmark::State &state, Stage stage)
{
	const std::vector<std::string> &lines = corpus();
	static const bool filled = (fillBadgeCatalog(), true);
	(void)filled;
	size_t bytes = 0;
	for (const std::string &line : lines)
		bytes += line.size();
	for (auto _ : state) {
		for (const std::string &line : lines) {
			if (stage == Stage::Json) {
				std::string json = handleLine(line);
				benchmark::DoNotOptimize(json.data());
			} else if (stage == Stage::Record) {
				benchmark::DoNotOptimize(recordOnly(line));
			} else {
				IrcMessage message = parseIrcLine(line);
				benchmark::DoNotOptimize(message.command.data());
			}
		}
	}
	const double count = static_cast<double>(state.iterations()) * lines.size();
	state.SetItemsProcessed(static_cast<int64_t>(count));
	state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
	state.counters["ns_per_line"] = benchmark::Counter(
	    count, benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
}

void BM_IrcLineToJson(benchmark::State &state)
{
	runCorpus(state, Stage::Json);
}

void BM_IrcLineToRecord(benchmark::State &state)
{
	runCorpus(state, Stage::Record);
}

void BM_IrcParseOnly(benchmark::State &state)
{
	runCorpus(state, Stage::Parse);
}

// A channel's third-party emotes as they are with every set loaded: about
// 1,200 codes (large 7TV channel sets hold up to 1,000), among them the
// corpus's rarest words, so that a line carries about one.
const ThirdPartyEmoteIndex &thirdPartyIndex()
{
	static const ThirdPartyEmoteIndex index = [] {
		std::map<std::string, int> counts;
		std::vector<std::string> order;
		for (const std::string &line : corpus()) {
			const std::string text(parseIrcLine(line).trailing);
			for (size_t start = 0; start < text.size();) {
				size_t end = text.find(' ', start);
				if (end == std::string::npos)
					end = text.size();
				const std::string word = text.substr(start, end - start);
				start = end + 1;
				if (!word.empty() && counts[word]++ == 0)
					order.push_back(word);
			}
		}
		// The rarest words first, until they occur about once a line.
		std::stable_sort(order.begin(), order.end(),
				 [&](const std::string &a, const std::string &b) { return counts[a] < counts[b]; });
		std::vector<ThirdPartyEmote> emotes;
		size_t occurrences = 0;
		for (const std::string &word : order) {
			if (occurrences + counts[word] > corpus().size())
				break;
			occurrences += counts[word];
			emotes.push_back({word, "https://cdn.7tv.app/emote/x/2x.webp", false});
		}
		for (int i = 0; emotes.size() < 1200; ++i)
			emotes.push_back(
			    {"emote" + std::to_string(i) + "Pls", "https://cdn.betterttv.net/emote/y/2x", i % 50 == 0});
		ThirdPartyEmoteIndex built;
		built.add(EmoteProvider::SevenTv, emotes);
		return built;
	}();
	return index;
}

// The matching alone, per line, as the hub does it: the chat lines'
// records made beforehand; a line with third-party emotes is copied and
// gets them added.
void BM_ThirdPartyMatch(benchmark::State &state)
{
	std::vector<ChatMessage> records;
	for (const std::string &line : corpus()) {
		IrcMessage message = parseIrcLine(line);
		if (message.command == "PRIVMSG")
			records.push_back(fromPrivmsg(message));
	}
	const ThirdPartyEmoteIndex &index = thirdPartyIndex();
	size_t found = 0;
	for (auto _ : state) {
		for (const ChatMessage &record : records) {
			std::vector<EmoteSpan> spans = index.find(record.text, record.emotes);
			if (spans.empty())
				continue;
			found += spans.size();
			ChatMessage matched = record;
			addEmoteSpans(matched.emotes, std::move(spans));
			benchmark::DoNotOptimize(matched.emotes.data());
		}
	}
	benchmark::DoNotOptimize(found);
	const double count = static_cast<double>(state.iterations()) * records.size();
	state.SetItemsProcessed(static_cast<int64_t>(count));
	state.counters["ns_per_line"] = benchmark::Counter(
	    count, benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
	state.counters["spans_per_line"] = static_cast<double>(found) / count;
}

} // namespace

BENCHMARK(BM_ThirdPartyMatch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IrcLineToJson)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IrcLineToRecord)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IrcParseOnly)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
