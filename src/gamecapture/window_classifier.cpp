#include "gamecapture/window_classifier.h"

#include "common/log.h"

#include <util/base.h>

#include <cstring>

namespace vanteo {

namespace {

// Launchers, browsers, shells, chat and media players: they come to the
// front often and are never what a streamer wants captured.
const char *const kExcludedPrograms[] = {
    "obs64.exe",
    "discord.exe",
    "spotify.exe",
    "chrome.exe",
    "msedge.exe",
    "firefox.exe",
    "brave.exe",
    "opera.exe",
    "opera_gx.exe",
    "vivaldi.exe",
    "explorer.exe",
    "steam.exe",
    "steamwebhelper.exe",
    "epicgameslauncher.exe",
    "riotclientservices.exe",
    "riotclientux.exe",
    "ubisoftconnect.exe",
    "upc.exe",
    "bsglauncher.exe",
    "battle.net.exe",
    "eadesktop.exe",
    "galaxyclient.exe",
    "powershell.exe",
    "pwsh.exe",
    "cmd.exe",
    "windowsterminal.exe",
    "code.exe",
    "vlc.exe",
    "mpc-hc64.exe",
    "unity.exe",
    "unityhub.exe",
    "devenv.exe",
    "launcher.exe",
    "nvidia app.exe",
    "nvcontainer.exe",
    "wallpaper32.exe",
    "wallpaper64.exe",
    "webwallpaper32.exe",
    "webwallpaper64.exe",
};

// Install folders of stores and big titles; searched anywhere in the path.
// Two entries deliberately lack the closing backslash.
const char *const kGameFolders[] = {
    "\\steamapps\\common\\",
    "\\epic games\\",
    "\\riot games\\valorant\\",
    "\\battlestate games\\eft",
    "\\minecraft\\",
    "\\r6siege\\",
    "\\tom clancy's rainbow six",
    "\\old r6\\",
    "\\all call of duty\\",
    "\\xboxgames\\",
    "\\plutonium\\",
    "\\gog galaxy\\games\\",
    "\\ea games\\",
    "\\origin games\\",
    "\\battle.net\\",
    "\\ubisoft\\ubisoft game launcher\\games\\",
};

const char *const kKnownGames[] = {
    "escapefromtarkov.exe",
    "rainbowsix.exe",
    "rainbowsix_dx11.exe",
    "arma reforger.exe",
    "armareforgersteam.exe",
    "robloxplayerbeta.exe",
    "plutonium-bootstrapper-win32.exe",
    "rustclient.exe",
    "cs2.exe",
    "fortniteclient-win64-shipping.exe",
    "valorant-win64-shipping.exe",
    "minecraft.windows.exe",
    "javaw.exe",
};

const char kReasonExcluded[] = "excluded program";
const char kReasonSystem[] = "programma di sistema";
const char kReasonSystemWindow[] = "system or browser window";
const char kReasonEngine[] = "known game engine";
const char kReasonWallpaper[] = "wallpaper engine";
const char kReasonFolder[] = "game folder";
const char kReasonKnownGame[] = "known game";
const char kReasonBorderless[] = "borderless fullscreen";
const char kReasonNotAGame[] = "does not look like a game";

template <size_t N> bool equalsAny(const std::string &text, const char *const (&list)[N])
{
	for (const char *entry : list) {
		if (text == entry)
			return true;
	}
	return false;
}

template <size_t N> bool containsAny(const std::string &text, const char *const (&list)[N])
{
	for (const char *entry : list) {
		if (text.find(entry) != std::string::npos)
			return true;
	}
	return false;
}

bool startsWith(const std::string &text, const char *prefix)
{
	return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool contains(const std::string &text, const char *part)
{
	return text.find(part) != std::string::npos;
}

bool isSystemOrBrowserClass(const std::string &cls)
{
	return contains(cls, "chrome_widgetwin") || cls == "#32770" || cls == "progman" || cls == "workerw" ||
	       contains(cls, "windows.ui.core");
}

bool isEngineClass(const std::string &cls)
{
	return cls == "unitywndclass" || cls == "unrealwindow" || cls == "valve001" || cls == "grcwindow" ||
	       startsWith(cls, "glfw") || startsWith(cls, "sdl_app") || startsWith(cls, "cod");
}

} // namespace

bool classifyWindow(const ForegroundWindowInfo &info, const char *&reason)
{
	const std::string cls = platform::lowerAscii(info.windowClass);
	// The order matters: each test only sees windows the earlier ones let
	// through (an excluded launcher inside a game folder stays excluded).
	if (equalsAny(info.exe, kExcludedPrograms)) {
		reason = kReasonExcluded;
		return false;
	}
	if (startsWith(info.path, "c:\\windows\\")) {
		reason = kReasonSystem;
		return false;
	}
	if (isSystemOrBrowserClass(cls)) {
		reason = kReasonSystemWindow;
		return false;
	}
	if (isEngineClass(cls)) {
		reason = kReasonEngine;
		return true;
	}
	if (contains(info.path, "\\wallpaper_engine\\")) {
		reason = kReasonWallpaper;
		return false;
	}
	if (containsAny(info.path, kGameFolders)) {
		reason = kReasonFolder;
		return true;
	}
	if (equalsAny(info.exe, kKnownGames)) {
		reason = kReasonKnownGame;
		return true;
	}
	if (info.coversMonitor && info.borderlessStyle) {
		reason = kReasonBorderless;
		return true;
	}
	reason = kReasonNotAGame;
	return false;
}

namespace {

struct SelfTestCase {
	const char *title;
	const char *windowClass;
	const char *exe;
	const char *path;
	bool covers;
	bool borderless;
	bool game;
};

const SelfTestCase kSelfTest[] = {
    {"Rainbow Six", "R6Game", "rainbowsix.exe", "d:\\giochi\\rainbowsix.exe", false, false, true},
    {"New Game", "SomeClass", "newgame.exe", "d:\\games\\x.exe", true, true, true},
    {"New Game", "SomeClass", "newgame.exe", "d:\\games\\x.exe", true, false, false},
    {"Game", "Cls", "a.exe", "c:\\steam\\steamapps\\common\\game\\a.exe", false, false, true},
    {"YouTube", "Chrome_WidgetWin_1", "chrome.exe", "c:\\prog\\chrome.exe", true, true, false},
    {"Discord", "Chrome_WidgetWin_1", "discord.exe", "c:\\prog\\discord.exe", false, false, false},
    {"File Explorer", "CabinetWClass", "explorer.exe", "c:\\windows\\explorer.exe", true, true, false},
    {"Notepad", "Notepad", "notepad.exe", "c:\\windows\\system32\\notepad.exe", true, true, false},
    {"Wallpaper", "WallpaperCls", "wallpaper64.exe", "d:\\steamapps\\common\\wallpaper_engine\\wallpaper64.exe", false,
     false, false},
    {"Install", "#32770", "setup.exe", "d:\\steamapps\\common\\game\\setup.exe", false, false, false},
};

} // namespace

void runGameCaptureSelfTest()
{
	const int total = static_cast<int>(sizeof(kSelfTest) / sizeof(kSelfTest[0]));
	int passed = 0;
	for (const SelfTestCase &c : kSelfTest) {
		ForegroundWindowInfo info;
		info.title = c.title;
		info.windowClass = c.windowClass;
		info.exe = c.exe;
		info.path = c.path;
		info.coversMonitor = c.covers;
		info.borderlessStyle = c.borderless;
		const char *reason = nullptr;
		if (classifyWindow(info, reason) == c.game)
			++passed;
		else
			logLine(LOG_WARNING, "game capture self-test failed: %s (%s)", c.title, reason);
	}
	logLine(passed == total ? LOG_INFO : LOG_WARNING, "game capture self-test: %d/%d", passed, total);
}

} // namespace vanteo
