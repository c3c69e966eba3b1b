#include "hub/recent_history.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vanteo;

namespace {

ChatMessage line(const std::string &id, const std::string &userId, Platform platform = Platform::Twitch,
		 const std::string &eventId = "")
{
	ChatMessage m;
	m.id = id;
	m.userId = userId;
	m.platform = platform;
	m.eventId = eventId;
	return m;
}

// "kind key deleted" of each entry, oldest first.
std::vector<std::string> entries(const RecentHistory &history)
{
	std::vector<std::string> out;
	history.forEach([&](const std::string &data) {
		auto field = [&](const std::string &name) {
			size_t at = data.find("\"" + name + "\":");
			size_t start = at + name.size() + 3;
			size_t end = data.find_first_of(",}", start);
			std::string value = data.substr(start, end - start);
			return value.front() == '"' ? value.substr(1, value.size() - 2) : value;
		};
		out.push_back(field("kind") + " " + field("key") + (field("deleted") == "true" ? " struck" : ""));
	});
	return out;
}

} // namespace

TEST(RecentHistory, KeepsOrderBoundsAndAppliesRemovals)
{
	RecentHistory history(RecentHistory::Limits{3, 2});
	history.addMessage(line("raid", "9", Platform::Twitch, "raid"), "{}");
	history.addMessage(line("a", "1"), "{}");
	history.addMessage(line("b", "2"), "{}");
	history.addActivity("follow", "{}");
	history.addMessage(line("t", "1", Platform::TikTok), "{}");
	history.addMessage(line("c", "1"), "{}");
	// Lines and items have their own bound: "a" goes, the raid stays.
	EXPECT_EQ(entries(history), (std::vector<std::string>{"message-in raid", "message-in b", "activity follow",
							      "message-in t", "message-in c"}));

	// One message, then a user's Twitch lines (the TikTok user "1" is
	// another person); ids of TikTok lines are never matched.
	history.addClear(Platform::Twitch, "b", "", "clear-1", "{}");
	history.addClear(Platform::Twitch, "", "1", "clear-2", "{}");
	history.addClear(Platform::TikTok, "t", "", "clear-3", "{}");
	EXPECT_EQ(entries(history), (std::vector<std::string>{"message-in raid", "activity follow", "message-in t",
							      "message-in c struck", "clear clear-2"}));

	// A cleared chat drops the Twitch lines; items and other notices stay.
	history.addMessage(line("d", "4"), "{}");
	history.addMessage(line("u", "4", Platform::TikTok), "{}");
	history.addClear(Platform::Twitch, "", "", "clear-4", "{}");
	EXPECT_EQ(entries(history), (std::vector<std::string>{"message-in raid", "activity follow", "clear clear-2",
							      "message-in u", "clear clear-4"}));
	EXPECT_EQ(history.size(), 5u);
}
