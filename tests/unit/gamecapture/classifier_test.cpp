#include "gamecapture/capture_sources.h"
#include "gamecapture/window_classifier.h"

#include <gtest/gtest.h>

using namespace vanteo;

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
	    {"CabinetWClass", "explorer.exe", "c:\\windows\\explorer.exe", true, "excluded program", false},
	    {"SDL_app", "steam.exe", "d:\\steamapps\\common\\x\\steam.exe", true, "excluded program", false},
	    // The system folder counts only at the very start of the path.
	    {"Notepad", "notepad.exe", "c:\\windows\\system32\\notepad.exe", true, "programma di sistema", false},
	    {"Cls", "game.exe", "d:\\windows\\game.exe", true, "borderless fullscreen", true},
	    // Class tests come before folder tests; containment vs equality.
	    {"#32770", "setup.exe", "d:\\steamapps\\common\\game\\setup.exe", false, "system or browser window", false},
	    {"Chrome_WidgetWin_1", "app.exe", "d:\\steamapps\\common\\app.exe", true, "system or browser window",
	     false},
	    {"Windows.UI.Core.CoreWindow", "app.exe", "d:\\app.exe", true, "system or browser window", false},
	    {"#327701", "a.exe", "d:\\a.exe", false, "does not look like a game", false},
	    // Engine classes match after lowering and win over wallpaper and folders.
	    {"SDL_app", "wp.exe", "d:\\wallpaper_engine\\wp.exe", false, "known game engine", true},
	    {"GLFW30", "a.exe", "d:\\a.exe", false, "known game engine", true},
	    {"CoDWindow", "a.exe", "d:\\a.exe", false, "known game engine", true},
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
