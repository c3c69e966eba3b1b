#include "common/persisted_switch.h"
#include "gamecapture/capture_sources.h"
#include "gamecapture/game_capture.h"
#include "gamecapture/window_classifier.h"
#include "support/fake_services.h"
#include "support/log_capture.h"
#include "support/test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>

using namespace vanteo;
using namespace vanteo::test;

namespace {

// A host source with real obs_data settings.
struct FakeSource : CaptureSource {
	FakeSource(std::string id, const char *json) : id_(std::move(id)), data(obs_data_create_from_json(json)) {}
	~FakeSource() override { obs_data_release(data); }
	std::string id() const override { return id_; }
	std::string name() const override { return id_ + "-" + std::to_string(serial); }
	uint32_t width() const override { return hookedWidth; }
	obs_data_t *settings() const override
	{
		obs_data_addref(data);
		return data;
	}
	void update(obs_data_t *) override { ++updates; }

	std::string id_;
	obs_data_t *data;
	int serial = 0;
	uint32_t hookedWidth = 0;
	int updates = 0;
};

// Sources and a foreground window that the test changes between polls;
// guarded, since one test reads them from the watcher thread.
struct FakeDesktop : SourceCatalog {
	void forEach(const std::function<void(CaptureSource &)> &visit) override
	{
		std::lock_guard<std::mutex> guard(lock);
		++enumerations;
		for (auto &source : sources)
			visit(*source);
	}
	bool foreground(ForegroundWindowInfo &info)
	{
		std::lock_guard<std::mutex> guard(lock);
		info = window;
		return !window.exe.empty();
	}
	void show(const std::string &exe, const std::string &key)
	{
		std::lock_guard<std::mutex> guard(lock);
		window = ForegroundWindowInfo();
		window.title = "T: " + exe;
		window.windowClass = "Cls";
		window.exe = exe;
		window.path = "d:\\games\\" + exe;
		window.key = key;
	}
	FakeSource &add(const std::string &id, const char *json = "{}")
	{
		std::lock_guard<std::mutex> guard(lock);
		sources.push_back(std::make_unique<FakeSource>(id, json));
		sources.back()->serial = static_cast<int>(sources.size());
		return *sources.back();
	}
	int updates()
	{
		std::lock_guard<std::mutex> guard(lock);
		int total = 0;
		for (auto &s : sources)
			total += s->updates;
		return total;
	}

	std::mutex lock; // guards everything below
	std::vector<std::unique_ptr<FakeSource>> sources;
	ForegroundWindowInfo window; // exe "": the poll cannot read it
	int enumerations = 0;
};

const uint64_t kSecond = 1000000000ull;
const char kHint[] = "[vanteo] game capture did not hook: try running the game in borderless mode";

class WatcherTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		gameCaptureSwitch().set(true);
		clearLog();
	}
	GameCaptureEnv env()
	{
		GameCaptureEnv e;
		e.foreground = [this](ForegroundWindowInfo &info) {
			return m_desktop.foreground(info);
		};
		e.sources = &m_desktop;
		e.clock = [this] {
			return m_now;
		};
		return e;
	}
	void polls(GameCaptureWatcher &watcher, int n)
	{
		for (int i = 0; i < n; ++i)
			watcher.poll();
	}

	TestHost m_host;
	FakeDesktop m_desktop;
	uint64_t m_now = 1;
};

} // namespace

TEST(RetargetSource, WritesOnlyWhatEachKindNeeds)
{
	const char *target = "Game:Cls:game.exe";
	const struct {
		const char *id;
		const char *before;
		const char *after; // "" when left alone (keys come out sorted)
	} cases[] = {
	    {"window_capture", "{\"cursor\":true}",
	     "{\"cursor\":true,\"priority\":2,\"window\":\"Game:Cls:game.exe\"}"},
	    {"game_capture", "{}",
	     "{\"capture_audio\":true,\"capture_mode\":\"window\",\"priority\":2,\"window\":\"Game:Cls:game.exe\"}"},
	    {"game_capture", "{\"capture_mode\":\"window\",\"priority\":2,\"window\":\"Game:Cls:game.exe\"}", ""},
	    // Right window and priority, other mode: rewritten.
	    {"game_capture", "{\"window\":\"Game:Cls:game.exe\",\"priority\":2,\"capture_mode\":\"any\"}",
	     "{\"capture_audio\":true,\"capture_mode\":\"window\",\"priority\":2,\"window\":\"Game:Cls:game.exe\"}"},
	    {"window_capture", "{\"capture_mode\":\"x\",\"priority\":2,\"window\":\"Game:Cls:game.exe\"}", ""},
	    {"window_capture", "{\"window\":\"Game:Cls:game.exe\",\"priority\":1}",
	     "{\"priority\":2,\"window\":\"Game:Cls:game.exe\"}"},
	    {"image_source", "{\"file\":\"a.png\"}", ""},
	};
	for (const auto &c : cases) {
		FakeSource source(c.id, c.before);
		RetargetContext ctx{target, {}};
		EXPECT_TRUE(retargetSource(source, ctx));
		const bool changed = *c.after != '\0';
		EXPECT_EQ(source.updates, changed ? 1 : 0) << c.before;
		EXPECT_EQ(ctx.changed.size(), changed ? 1u : 0u) << c.before;
		EXPECT_EQ(std::string(obs_data_get_json(source.data)), changed ? c.after : c.before) << c.before;
	}
}

TEST_F(WatcherTest, RetargetsOnTheThirdPollOfTheSameGame)
{
	m_desktop.add("game_capture");
	m_desktop.add("image_source");
	m_desktop.add("window_capture");
	FakeSource &ready = m_desktop.add("game_capture", "{\"window\":\"T#3A cs2.exe:Cls:cs2.exe\","
							  "\"priority\":2,\"capture_mode\":\"window\"}");
	GameCaptureWatcher watcher(env());

	// Two polls on a game, then a non-game: the count starts again.
	m_desktop.show("cs2.exe", "1:1");
	polls(watcher, 2);
	m_desktop.show("discord.exe", "2:2");
	watcher.poll();
	m_desktop.show("cs2.exe", "1:1");
	polls(watcher, 2);
	// A poll that cannot read the window keeps the count.
	m_desktop.show("", "");
	watcher.poll();
	m_desktop.show("cs2.exe", "1:1");
	EXPECT_EQ(m_desktop.enumerations, 0);
	watcher.poll();
	EXPECT_EQ(m_desktop.enumerations, 1);
	EXPECT_EQ(watcher.appliedWindow(), "T#3A cs2.exe:Cls:cs2.exe");
	EXPECT_EQ(logCount("[vanteo] game detected (known game): cs2.exe -> game_capture-1, window_capture-3"), 1u);
	EXPECT_EQ(ready.updates, 0); // already on target: left alone, not listed

	// Alt-tab to OBS and back: the count restarts, nothing is rewritten.
	m_desktop.show("obs64.exe", "9:9");
	watcher.poll();
	m_desktop.show("cs2.exe", "1:1");
	polls(watcher, 6);
	EXPECT_EQ(m_desktop.enumerations, 1);
}

TEST_F(WatcherTest, HookHintOncePerAppliedWindowSixSecondsLater)
{
	FakeSource &capture = m_desktop.add("game_capture");
	GameCaptureWatcher watcher(env());
	m_desktop.show("cs2.exe", "1:1");
	polls(watcher, 3);
	const int enumerations = m_desktop.enumerations;
	m_now += 6 * kSecond - 1;
	watcher.poll();
	EXPECT_EQ(logCount(kHint), 0u);
	m_now += 1;
	polls(watcher, 2);
	EXPECT_EQ(logCount(kHint), 1u);
	EXPECT_EQ(m_desktop.enumerations, enumerations + 1); // one check, not one per poll

	// A second game clears the warned window; with the switch off the
	// scheduled check still runs.
	m_desktop.show("javaw.exe", "2:2");
	polls(watcher, 3);
	gameCaptureSwitch().set(false);
	m_now += 6 * kSecond;
	watcher.poll();
	EXPECT_EQ(logCount(kHint), 2u);
	m_desktop.show("rustclient.exe", "3:3");
	polls(watcher, 5);
	EXPECT_EQ(capture.updates, 2); // the switch gates the retarget

	// A capture that hooked gives no hint.
	gameCaptureSwitch().set(true);
	polls(watcher, 3);
	capture.hookedWidth = 1920;
	m_now += 6 * kSecond;
	watcher.poll();
	EXPECT_EQ(capture.updates, 3);
	EXPECT_EQ(logCount(kHint), 2u);
}

TEST_F(WatcherTest, WithoutSourcesTheCheckStillHints)
{
	GameCaptureWatcher watcher(env());
	m_desktop.show("cs2.exe", "1:1");
	polls(watcher, 3);
	m_now += 6 * kSecond;
	watcher.poll();
	EXPECT_EQ(logCount("game detected"), 0u);
	EXPECT_EQ(logCount(kHint), 1u);
}

TEST_F(WatcherTest, ThreadStartsFromTheMarkerAndStopsOnce)
{
	m_desktop.add("window_capture");
	m_desktop.show("cs2.exe", "1:1");
	m_host.writeConfigFile("gamecapture.txt", "0");
	GameCaptureEnv e = env();
	e.clock = [] {
		return uint64_t(1);
	};
	e.timings.pollMs = 1;

	startGameCapture(e);
	startGameCapture(e); // already running
	EXPECT_TRUE(isGameCaptureRunning());

	gameCaptureSwitch().set(true);
	EXPECT_TRUE(waitUntil([&] { return m_desktop.updates() > 0; }));
	stopGameCapture();
	stopGameCapture();
	EXPECT_EQ(m_desktop.updates(), 1);
	EXPECT_FALSE(isGameCaptureRunning());
}

TEST(ClassifyWindow, OrderedRules)
{
	// Paths as the capture stores them: lower-case, single backslashes.
	const struct {
		const char *windowClass;
		const char *exe;
		const char *path;
		bool covers; // and borderless, both or neither
		const char *reason;
		bool game;
	} cases[] = {
	    // An excluded program wins over every later test.
	    {"WallpaperCls", "wallpaper64.exe", "d:\\steamapps\\common\\wallpaper_engine\\wallpaper64.exe", false,
	     "excluded program", false},
	    {"SDL_app", "steam.exe", "d:\\steamapps\\common\\x\\steam.exe", true, "excluded program", false},
	    // The system folder counts only at the very start of the path.
	    {"Notepad", "notepad.exe", "c:\\windows\\system32\\notepad.exe", true, "programma di sistema", false},
	    {"Cls", "game.exe", "d:\\windows\\game.exe", true, "borderless fullscreen", true},
	    // Class tests come before folder tests; containment vs equality.
	    {"#32770", "setup.exe", "d:\\steamapps\\common\\game\\setup.exe", false, "system or browser window", false},
	    {"Chrome_WidgetWin_1", "app.exe", "d:\\steamapps\\common\\app.exe", true, "system or browser window",
	     false},
	    {"#327701", "a.exe", "d:\\a.exe", false, "does not look like a game", false},
	    // Engine classes match after lowering and win over wallpaper and folders.
	    {"SDL_app", "wp.exe", "d:\\wallpaper_engine\\wp.exe", false, "known game engine", true},
	    {"UnityWndClassX", "a.exe", "d:\\a.exe", false, "does not look like a game", false},
	    {"Cls", "cs2.exe", "d:\\steamapps\\common\\wallpaper_engine\\cs2.exe", true, "wallpaper engine", false},
	    // Folders, including one without a closing backslash.
	    {"Cls", "x.exe", "d:\\battlestate games\\eft_live\\x.exe", false, "game folder", true},
	    {"Cls", "x.exe", "d:epic games\\x.exe", false, "does not look like a game", false},
	    {"Cls", "javaw.exe", "d:\\java\\bin\\javaw.exe", false, "known game", true},
	};
	for (const auto &c : cases) {
		ForegroundWindowInfo info;
		info.windowClass = c.windowClass;
		info.exe = c.exe;
		info.path = c.path;
		info.coversMonitor = info.borderlessStyle = c.covers;
		const char *reason = nullptr;
		EXPECT_EQ(classifyWindow(info, reason), c.game) << c.path;
		EXPECT_STREQ(reason, c.reason) << c.path;
	}

	// Geometry: both flags are needed.
	ForegroundWindowInfo info;
	info.exe = "new.exe";
	info.path = "d:\\new.exe";
	const char *reason = nullptr;
	info.coversMonitor = true;
	EXPECT_FALSE(classifyWindow(info, reason));
	info.coversMonitor = false;
	info.borderlessStyle = true;
	EXPECT_FALSE(classifyWindow(info, reason));
	EXPECT_STREQ(reason, "does not look like a game");
}

TEST(WindowSelection, EncodesSeparatorsInEachPart)
{
	EXPECT_EQ(encodeWindowField("Game: Edition"), "Game#3A Edition");
	EXPECT_EQ(encodeWindowField("a:#b"), "a#3A#22b");
	EXPECT_EQ(encodeWindowField("#3A"), "#223A"); // encoded text is encoded again
	EXPECT_EQ(windowSelection("Halo: Reach", "Cls#1", "halo.exe"), "Halo#3A Reach:Cls#221:halo.exe");
}
