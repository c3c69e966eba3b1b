#include "common/persisted_switch.h"
#include "hub/chat_dock.h"
#include "hub/settings.h"
#include "support/http_client.h"
#include "support/log_capture.h"
#include "support/test_host.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <tuple>

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
	Settings s;
	s.twitch = "a\"b";
	s.clientId = "typed";
	s.seToken = "x";
	s.adLength = 120;
	TwitchAccount a;
	a.token = "tok";
	std::string json = configJson(s, TwitchAccount(), "", false, true, false);
	EXPECT_EQ(json, "{\"twitch\":\"a\\\"b\",\"tiktok\":\"\",\"youtube\":\"\",\"kick\":\"\",\"setupDone\":false,"
			"\"clientId\":\"\",\"autoGame\":false,\"replayNotify\":true,\"builtInClient\":true,"
			"\"seConfigured\":true,\"adLength\":120,\"highlightWords\":\"\",\"thirdPartyEmotes\":true,"
			"\"account\":null}");
	// A stored token Twitch has not confirmed: pending, with the reason.
	EXPECT_NE(configJson(s, a, "Twitch unreachable", true, true, false)
		      .find(",\"account\":{\"login\":\"\",\"needsReauth\":false,\"pending\":\"Twitch unreachable\"}}"),
		  std::string::npos);
	a.login = "streamer";
	EXPECT_NE(
	    configJson(s, a, "", true, true, true).find(",\"account\":{\"login\":\"streamer\",\"needsReauth\":true}}"),
	    std::string::npos);
	EXPECT_EQ(configJson(s, a, "", true, true, false).find("\"tok\""), std::string::npos);
}

TEST(SwitchFiles, FirstByteCountsAndMissingLeavesValue)
{
	TestHost host;
	bool value = true;
	EXPECT_FALSE(readSwitchFile("x.txt", value));
	EXPECT_TRUE(value);
	host.writeConfigFile("x.txt", "0junk");
	EXPECT_TRUE(readSwitchFile("x.txt", value));
	EXPECT_FALSE(value);
	host.writeConfigFile("x.txt", "");
	EXPECT_FALSE(readSwitchFile("x.txt", value));
	EXPECT_FALSE(value);
	host.writeConfigFile("x.txt", "y");
	EXPECT_TRUE(readSwitchFile("x.txt", value));
	EXPECT_TRUE(value);
	// Writing the marker from the menu is the OBS desktop test's.
}

// The running polls, predictions and hype trains a page opened later gets
// are the EventSub browser test's.
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
