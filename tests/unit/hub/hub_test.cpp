#include "common/persisted_switch.h"
#include "hub/chat_dock.h"
#include "hub/recent_history.h"
#include "hub/settings.h"
#include "support/http_client.h"
#include "support/json_value.h"
#include "support/log_capture.h"
#include "support/test_host.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;

namespace {

constexpr uint16_t kPort = 29763;

const char kDefaultConfig[] =
    "{\"twitch\":\"\",\"tiktok\":\"\",\"youtube\":\"\",\"kick\":\"\",\"setupDone\":false,\"clientId\":\"\","
    "\"autoGame\":true,\"replayNotify\":true,\"builtInClient\":true,\"seConfigured\":false,\"adLength\":60,"
    "\"highlightWords\":\"\",\"thirdPartyEmotes\":true,\"account\":null}";

// The tests drive the viewer events themselves: the hub's own round comes
// only after they are done.
std::unique_ptr<ChatDock> makeHub()
{
	ChatDock::Options options;
	options.firstPort = kPort;
	options.viewerEvents.tick = std::chrono::hours(1);
	return std::make_unique<ChatDock>(options);
}

int fileMode(const std::string &path)
{
	struct stat st {};
	return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

} // namespace

TEST(Settings, LoadsDefaultsLegacyBackupAndClampsAdLength)
{
	TestHost host;
	Settings s;
	TwitchAccount a;
	const std::string path = host.configPath("config.json");
	EXPECT_FALSE(readSettingsFile(path, s, a));
	EXPECT_EQ(s.adLength, 60);

	// The folder of the earlier name is read when the current file is missing.
	std::string legacyDir = host.configDir().substr(0, host.configDir().rfind('/')) + "/pellora-chat";
	std::filesystem::create_directories(legacyDir);
	std::ofstream(legacyDir + "/config.json") << "{\"twitch\":\"old\",\"adLength\":0}";
	EXPECT_TRUE(readSettingsFile(path, s, a));
	EXPECT_EQ(s.twitch, "old");
	EXPECT_EQ(s.adLength, 60);

	// Every stored field, and what a file from before the newer settings
	// (highlight words, the emote switch) gives.
	host.writeConfigFile("config.json", "{\"twitch\":\"new\",\"tiktok\":\"tt\",\"youtube\":\"yt\","
					    "\"kick\":\"k\",\"setupDone\":true,\"clientId\":\"cid\",\"token\":\"tok\","
					    "\"refreshToken\":\"ref\",\"seToken\":\"se\",\"adLength\":-5}");
	Settings t;
	TwitchAccount b;
	EXPECT_TRUE(readSettingsFile(path, t, b));
	EXPECT_EQ(std::make_tuple(t.twitch, t.tiktok, t.youtube, t.kick, t.clientId, t.seToken, b.token,
				  b.refreshToken),
		  std::make_tuple("new", "tt", "yt", "k", "cid", "se", "tok", "ref"));
	EXPECT_TRUE(t.setupDone);
	EXPECT_EQ(t.adLength, 60);
	EXPECT_EQ(t.highlightWords, "");
	EXPECT_TRUE(t.thirdPartyEmotes);

	// Highlight words round-trip as stored: trimmed, empty ones dropped, long
	// ones cut before a character, at most 50.
	t.highlightWords = normaliseHighlightWords(" gg ,\n\n,hype train\r\n" + std::string(39, 'x') + "\xc3\xa9!");
	EXPECT_EQ(t.highlightWords, "gg, hype train, " + std::string(39, 'x'));
	t.thirdPartyEmotes = false;
	ASSERT_TRUE(writeSettingsFile(path, t, b));
	Settings r;
	EXPECT_TRUE(readSettingsFile(path, r, b));
	EXPECT_EQ(r.highlightWords, t.highlightWords);
	EXPECT_FALSE(r.thirdPartyEmotes);
	std::string many;
	for (int i = 0; i < 60; ++i)
		many += "w" + std::to_string(i) + ",";
	const std::string kept = normaliseHighlightWords(many);
	EXPECT_EQ(std::count(kept.begin(), kept.end(), ','), 49);

	// No "vanteo" in the path: no legacy fallback.
	Settings u;
	EXPECT_FALSE(readSettingsFile(legacyDir + "/../other/config.json", u, b));
}

TEST(Settings, SaveIsOwnerOnlyAndDamagedFileFallsBackToBackup)
{
	TestHost host;
	ASSERT_TRUE(ensureConfigFolder());
	const std::string path = host.configPath("config.json");
	host.writeConfigFile("config.json", "{\"twitch\":\"before\"}");
	chmod(path.c_str(), 0644);

	Settings s;
	s.twitch = "alice";
	s.adLength = 90;
	TwitchAccount a;
	a.token = "secret";
	ASSERT_TRUE(writeSettingsFile(path, s, a));
	EXPECT_EQ(fileMode(path), 0600);
	EXPECT_EQ(fileMode(path + ".bak"), 0600);
	ASSERT_TRUE(writeSettingsFile(path, s, a));
	EXPECT_EQ(fileMode(path), 0600);

	Settings back;
	TwitchAccount ba;
	ASSERT_TRUE(readSettingsFile(path, back, ba));
	EXPECT_EQ(back.twitch, "alice");
	EXPECT_EQ(back.adLength, 90);
	EXPECT_EQ(ba.token, "secret");

	// A damaged file loads its backup instead of the defaults.
	host.writeConfigFile("config.json", "{\"twitch\":\"ali");
	Settings damaged;
	ASSERT_TRUE(readSettingsFile(path, damaged, ba));
	EXPECT_EQ(damaged.twitch, "alice");
}

TEST(Settings, ConfigJsonHidesTokensAndTypedClientId)
{
	// The whole text is the snapshot test's; here what the settings change.
	Settings s;
	s.clientId = "typed";
	s.seToken = "x";
	TwitchAccount a;
	a.token = "tok";
	EXPECT_NE(configJson(s, TwitchAccount(), "", false, true, false)
		      .find("\"clientId\":\"\",\"autoGame\":false,\"replayNotify\":true,\"builtInClient\":true,"
			    "\"seConfigured\":true,"),
		  std::string::npos);
	// The account's pending reason and re-authorise hint as the pages get
	// them are AbuseTest's (stalled hosts) and account.test.mjs's.
	EXPECT_EQ(configJson(s, a, "", true, true, false).find("\"tok\""), std::string::npos);
}

// Writing the marker from the menu is the OBS desktop test's.
TEST(SwitchFiles, FirstByteCountsAndMissingLeavesValue)
{
	TestHost host;
	bool value = true;
	EXPECT_FALSE(readSwitchFile("x.txt", value)); // missing
	EXPECT_TRUE(value);
	// Contents, and the value after each read: an empty file leaves it too.
	for (auto [text, read, after] : {std::tuple{"0junk", true, false}, {"", false, false}, {"y", true, true}}) {
		host.writeConfigFile("x.txt", text);
		EXPECT_EQ(readSwitchFile("x.txt", value), read) << text;
		EXPECT_EQ(value, after) << text;
	}
}

// The running polls, predictions and hype trains a page opened later gets
// are account.test.mjs's (the live cards).
TEST(Hub, SnapshotOfANewPage)
{
	TestHost host;
	auto hub = makeHub();
	ASSERT_NE(hub->port(), 0);
	EventStreamClient first(hub->port());
	first.readEvents(3);
	EXPECT_EQ(first.events(),
		  std::string("event: config\ndata: ") + kDefaultConfig +
		      "\n\nevent: status\ndata: {\"twitch\":{\"state\":\"disabled\",\"detail\":\"Not "
		      "configured\"},\"tiktok\":{\"state\":\"disabled\",\"detail\":\"Not configured\"},"
		      "\"kick\":{\"state\":\"disabled\",\"detail\":\"Not configured\"},"
		      "\"youtube\":{\"state\":\"disabled\",\"detail\":\"Not configured\"}}"
		      "\n\nevent: viewers\ndata: {\"twitch\":null,\"tiktok\":null,\"kick\":null,\"youtube\":null}\n\n");
}

TEST(Hub, LinkStatusAndViewerRules)
{
	TestHost host;
	auto hub = makeHub();
	EventStreamClient page(hub->port());
	page.readEvents(3);

	hub->setViewerCount(Platform::Twitch, 7);
	hub->setViewerCount(Platform::TikTok, 50);
	EXPECT_TRUE(hub->viewersChanged());
	hub->viewersJson();
	EXPECT_FALSE(hub->viewersChanged());
	hub->onTikTokViewers(50);
	EXPECT_FALSE(hub->viewersChanged()); // same count: nothing changes

	hub->onLinkStatus(Platform::TikTok, LinkStatus{LinkState::Connected, "Listening · @x"});
	EXPECT_FALSE(hub->viewersChanged());

	hub->onLinkStatus(Platform::Twitch, LinkStatus{LinkState::Retry, "x"});
	EXPECT_FALSE(hub->viewersChanged()); // Twitch reports never touch counts
	hub->onLinkStatus(Platform::TikTok, LinkStatus{LinkState::Offline, "gone"});
	EXPECT_TRUE(hub->viewersChanged());
	hub->viewersJson();
	page.readEvents(8);
	std::string events = page.events();
	EXPECT_NE(events.find("event: viewers\ndata: {\"twitch\":7,\"tiktok\":50,\"kick\":null,\"youtube\":null}\n\n"),
		  std::string::npos);
	EXPECT_NE(events.find("\"tiktok\":{\"state\":\"offline\",\"detail\":\"gone\"}"), std::string::npos);
	const std::string last =
	    "event: viewers\ndata: {\"twitch\":7,\"tiktok\":null,\"kick\":null,\"youtube\":null}\n\n";
	EXPECT_EQ(events.substr(events.size() - last.size()), last);
}

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
		const JsonValue entry = JsonValue::parse(data);
		out.push_back(entry["kind"].str() + " " + entry["key"].str() +
			      (entry["deleted"].boolean() ? " struck" : ""));
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
