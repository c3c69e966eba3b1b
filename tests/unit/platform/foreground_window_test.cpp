#include "platform/foreground_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#ifdef VANTEO_HAVE_X11
#include <QProcess> // before Xlib, which defines Bool

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>
#endif

using namespace vanteo;
using namespace vanteo::platform;

TEST(ForegroundRecord, CoverageMonitorAndImagePath)
{
	const ScreenRect monitor{1920, 0, 3840, 1080};
	const struct {
		ScreenRect window;
		bool covers;
	} cases[] = {
	    {{1922, 2, 3838, 1078}, true}, // 2 px inside every edge
	    {{1900, -30, 3860, 1100}, true},
	    {{1923, 0, 3840, 1080}, false}, // 3 px inside one edge
	    {{1920, 0, 3840, 1077}, false},
	};
	for (const auto &c : cases)
		EXPECT_EQ(coversMonitor(c.window, monitor), c.covers) << c.window.left << "," << c.window.bottom;

	// The monitor a window overlaps most; off every monitor, the nearest.
	const std::vector<ScreenRect> monitors{{0, 0, 1920, 1080}, {1920, 0, 3840, 1080}, {0, 1080, 1920, 2160}};
	EXPECT_EQ(nearestMonitor({1800, 0, 3000, 500}, monitors), 1);
	EXPECT_EQ(nearestMonitor({100, 2300, 200, 2400}, monitors), 2);
	EXPECT_EQ(nearestMonitor({0, 0, 1, 1}, {}), -1);

	// Only ASCII letters are lowered; either separator ends the folder.
	ForegroundWindowInfo info;
	setImagePath(info, "D:\\Spiele/ÄÖÜ\\RustClient.EXE");
	EXPECT_EQ(info.path, "d:\\spiele/ÄÖÜ\\rustclient.exe");
	EXPECT_EQ(info.exe, "rustclient.exe");
	EXPECT_EQ(windowKey(18446744073709551615ull, 912), "18446744073709551615:912");
}

#ifdef VANTEO_HAVE_X11

namespace {

void setCardinal(Display *d, Window w, const char *name, Atom type, unsigned long value)
{
	XChangeProperty(d, w, XInternAtom(d, name, False), type, 32, PropModeReplace,
			reinterpret_cast<unsigned char *>(&value), 1);
}

Window makeWindow(Display *d, int width, int height, const char *title, bool decorated)
{
	Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, width, height, 0, 0, 0);
	const std::string utf8 = title;
	XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
			PropModeReplace, reinterpret_cast<const unsigned char *>(utf8.data()),
			static_cast<int>(utf8.size()));
	XClassHint hint{const_cast<char *>("spiel"), const_cast<char *>("Spiel:Klasse")};
	XSetClassHint(d, w, &hint);
	setCardinal(d, w, "_NET_WM_PID", XA_CARDINAL, static_cast<unsigned long>(getpid()));
	unsigned long frame[4] = {0, 0, decorated ? 30ul : 0ul, 0};
	XChangeProperty(d, w, XInternAtom(d, "_NET_FRAME_EXTENTS", False), XA_CARDINAL, 32, PropModeReplace,
			reinterpret_cast<unsigned char *>(frame), 4);
	XMapWindow(d, w);
	return w;
}

void activate(Display *d, Window w)
{
	setCardinal(d, DefaultRootWindow(d), "_NET_ACTIVE_WINDOW", XA_WINDOW, w);
	XSync(d, False);
}

} // namespace

TEST(ForegroundX11, ReadsTheActiveWindowOfTheWindowManager)
{
	const char *old = std::getenv("DISPLAY");
	const std::string saved = old ? old : "";
	unsetenv("DISPLAY");
	ForegroundWindowInfo none;
	EXPECT_FALSE(captureForegroundWindow(none)); // no display at all

	// A private X server; it writes its display number once it accepts
	// connections, and goes with the QProcess.
	QProcess server;
	server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x720x24"});
	if (!server.waitForReadyRead(15000))
		GTEST_SKIP() << "Xvfb is not available";
	setenv("DISPLAY", (":" + server.readLine().trimmed().toStdString()).c_str(), 1);
	Display *d = XOpenDisplay(nullptr);
	ASSERT_NE(d, nullptr);

	ForegroundWindowInfo info;
	EXPECT_FALSE(captureForegroundWindow(info)); // no window manager: no active window

	const Window game = makeWindow(d, 1280, 720, "Spiel: Größe #1", false);
	activate(d, game);
	ASSERT_TRUE(captureForegroundWindow(info));
	EXPECT_EQ(info.title, "Spiel: Größe #1");
	EXPECT_EQ(info.windowClass, "Spiel:Klasse");
	EXPECT_EQ(info.path, lowerAscii(std::filesystem::read_symlink("/proc/self/exe").string()));
	EXPECT_EQ(info.exe, fileNameOf(info.path));
	EXPECT_TRUE(info.coversMonitor);
	EXPECT_TRUE(info.borderlessStyle);
	EXPECT_EQ(info.key, std::to_string(game) + ":" + std::to_string(getpid()));

	const struct {
		const char *what;
		int width;
		bool decorated;
		bool transient;
		bool covers;
		bool borderless;
	} shapes[] = {
	    {"decorated", 1280, true, false, true, false},
	    {"dialog of another window", 1280, false, true, true, false},
	    {"smaller than the screen", 1000, false, false, false, true},
	};
	for (const auto &s : shapes) {
		const Window w = makeWindow(d, s.width, 720, s.what, s.decorated);
		if (s.transient)
			XSetTransientForHint(d, w, game);
		activate(d, w);
		ForegroundWindowInfo shaped;
		ASSERT_TRUE(captureForegroundWindow(shaped)) << s.what;
		EXPECT_EQ(shaped.coversMonitor, s.covers) << s.what;
		EXPECT_EQ(shaped.borderlessStyle, s.borderless) << s.what;
	}

	// No record for windows that cannot be described, and no crash for a
	// window that is gone.
	const Window noPid = makeWindow(d, 100, 100, "no pid", false);
	XDeleteProperty(d, noPid, XInternAtom(d, "_NET_WM_PID", False));
	const Window untitled = makeWindow(d, 100, 100, "", false);
	const Window hidden = makeWindow(d, 100, 100, "hidden", false);
	XUnmapWindow(d, hidden);
	const Window gone = makeWindow(d, 100, 100, "gone", false);
	XDestroyWindow(d, gone);
	for (Window w : {noPid, untitled, hidden, gone}) {
		activate(d, w);
		ForegroundWindowInfo skipped;
		EXPECT_FALSE(captureForegroundWindow(skipped)) << w;
	}

	XCloseDisplay(d);
	if (saved.empty())
		unsetenv("DISPLAY");
	else
		setenv("DISPLAY", saved.c_str(), 1);
}

#endif
