#include "platform/foreground_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <mutex>

// The X11 reading of the foreground window: the window manager names the
// active window in _NET_ACTIVE_WINDOW on the root window, and the client
// window carries its title, class and process id as properties. Without a
// display or a window manager that publishes these, there is no record.
//
// Each call opens its own display connection, so nothing here is shared
// with the host's own X11 use or with another thread.
namespace vanteo::platform {

namespace {

// Xlib reports protocol errors (a window destroyed between two requests)
// through one process-wide handler whose default ends the process. Ours
// swallows the errors of the connection this thread has open and passes
// every other one to the handler that was installed before.
thread_local Display *t_display = nullptr;
thread_local bool t_failed = false;
XErrorHandler g_previousHandler = nullptr;

int onXError(Display *display, XErrorEvent *event)
{
	if (display == t_display) {
		t_failed = true;
		return 0;
	}
	return g_previousHandler ? g_previousHandler(display, event) : 0;
}

void installErrorHandler()
{
	static std::once_flag once;
	std::call_once(once, [] { g_previousHandler = XSetErrorHandler(onXError); });
}

class Connection {
public:
	Connection() : m_display(XOpenDisplay(nullptr))
	{
		t_display = m_display;
		t_failed = false;
	}
	~Connection()
	{
		if (m_display)
			XCloseDisplay(m_display);
		t_display = nullptr;
	}
	Connection(const Connection &) = delete;
	Connection &operator=(const Connection &) = delete;
	Display *get() const { return m_display; }

private:
	Display *m_display;
};

Atom atom(Display *display, const char *name)
{
	return XInternAtom(display, name, False);
}

// A property as raw items (8-bit bytes or 32-bit values held in longs, as
// Xlib hands them out). Empty when absent or of another type.
template <typename T> std::vector<T> readProperty(Display *display, Window window, Atom property, Atom type)
{
	Atom actualType = None;
	int actualFormat = 0;
	unsigned long count = 0;
	unsigned long remaining = 0;
	unsigned char *data = nullptr;
	std::vector<T> result;
	const int status = XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType,
					      &actualFormat, &count, &remaining, &data);
	if (status == Success && data && actualType == type && !t_failed) {
		const T *items = reinterpret_cast<const T *>(data);
		result.assign(items, items + count);
	}
	if (data)
		XFree(data);
	return result;
}

unsigned long firstValue(Display *display, Window window, const char *property, Atom type)
{
	auto values = readProperty<unsigned long>(display, window, atom(display, property), type);
	return values.empty() ? 0 : values.front();
}

std::string windowTitle(Display *display, Window window)
{
	auto utf8 = readProperty<char>(display, window, atom(display, "_NET_WM_NAME"), atom(display, "UTF8_STRING"));
	if (!utf8.empty())
		return std::string(utf8.begin(), utf8.end());
	// Older clients only set WM_NAME, in Latin-1 or compound text.
	XTextProperty name{};
	std::string title;
	if (XGetWMName(display, window, &name) && name.value) {
		char **list = nullptr;
		int count = 0;
		if (Xutf8TextPropertyToTextList(display, &name, &list, &count) >= Success && list) {
			if (count > 0 && list[0])
				title = list[0];
			XFreeStringList(list);
		}
		XFree(name.value);
	}
	return title;
}

std::string windowClass(Display *display, Window window)
{
	XClassHint hint{};
	if (!XGetClassHint(display, window, &hint))
		return std::string();
	std::string result = hint.res_class ? hint.res_class : "";
	if (hint.res_name)
		XFree(hint.res_name);
	if (hint.res_class)
		XFree(hint.res_class);
	return result;
}

std::string imagePathOf(unsigned long pid)
{
	const std::string link = "/proc/" + std::to_string(pid) + "/exe";
	char buffer[PATH_MAX];
	const ssize_t length = readlink(link.c_str(), buffer, sizeof(buffer));
	if (length <= 0 || static_cast<size_t>(length) >= sizeof(buffer))
		return std::string();
	return std::string(buffer, static_cast<size_t>(length));
}

// RandR 1.5 monitor list, looked up at run time so that the plug-in does
// not need the extension's development files. The structure mirrors
// XRRMonitorInfo of <X11/extensions/Xrandr.h>.
struct RandrMonitor {
	Atom name;
	Bool primary;
	Bool automatic;
	int noutput;
	int x;
	int y;
	int width;
	int height;
	int mwidth;
	int mheight;
	XID *outputs;
};
using GetMonitorsFn = RandrMonitor *(*)(Display *, Window, Bool, int *);
using FreeMonitorsFn = void (*)(RandrMonitor *);

struct Randr {
	GetMonitorsFn getMonitors = nullptr;
	FreeMonitorsFn freeMonitors = nullptr;
};

const Randr &randr()
{
	static const Randr functions = [] {
		Randr r;
		// Kept loaded for the life of the process, like any linked library.
		if (void *library = dlopen("libXrandr.so.2", RTLD_NOW | RTLD_LOCAL)) {
			r.getMonitors = reinterpret_cast<GetMonitorsFn>(dlsym(library, "XRRGetMonitors"));
			r.freeMonitors = reinterpret_cast<FreeMonitorsFn>(dlsym(library, "XRRFreeMonitors"));
		}
		return r;
	}();
	return functions;
}

std::vector<ScreenRect> monitors(Display *display, Window root)
{
	std::vector<ScreenRect> result;
	const Randr &r = randr();
	if (r.getMonitors && r.freeMonitors) {
		int count = 0;
		if (RandrMonitor *list = r.getMonitors(display, root, True, &count)) {
			for (int i = 0; i < count; ++i)
				result.push_back(ScreenRect{list[i].x, list[i].y, list[i].x + list[i].width,
							    list[i].y + list[i].height});
			r.freeMonitors(list);
		}
	}
	if (result.empty()) {
		// Without RandR the whole screen is the one monitor.
		const int screen = DefaultScreen(display);
		result.push_back(ScreenRect{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)});
	}
	return result;
}

// A window the window manager frames with a title bar or border. Window
// managers publish the frame in _NET_FRAME_EXTENTS (all zero for a
// full-screen or undecorated window); without it, the client's own Motif
// hints and full-screen state decide.
bool isDecorated(Display *display, Window window)
{
	auto extents = readProperty<unsigned long>(display, window, atom(display, "_NET_FRAME_EXTENTS"), XA_CARDINAL);
	if (extents.size() >= 4)
		return extents[0] || extents[1] || extents[2] || extents[3];
	const Atom fullscreen = atom(display, "_NET_WM_STATE_FULLSCREEN");
	for (unsigned long state :
	     readProperty<unsigned long>(display, window, atom(display, "_NET_WM_STATE"), XA_ATOM)) {
		if (state == fullscreen)
			return false;
	}
	const Atom motif = atom(display, "_MOTIF_WM_HINTS");
	auto hints = readProperty<unsigned long>(display, window, motif, motif);
	const unsigned long kDecorationsFlag = 1UL << 1;
	if (hints.size() >= 3 && (hints[0] & kDecorationsFlag))
		return hints[2] != 0;
	return true;
}

// The counterpart of a child window: a dialog or tool window that belongs
// to another top-level window.
bool isChild(Display *display, Window window)
{
	Window owner = None;
	return XGetTransientForHint(display, window, &owner) && owner != None;
}

void readGeometry(Display *display, Window root, Window window, const XWindowAttributes &attributes,
		  ForegroundWindowInfo &info)
{
	int x = 0;
	int y = 0;
	Window unused = None;
	if (!XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &unused) || t_failed)
		return;
	const ScreenRect rect{x, y, x + attributes.width, y + attributes.height};
	const std::vector<ScreenRect> list = monitors(display, root);
	const int index = nearestMonitor(rect, list);
	if (index < 0)
		return;
	info.coversMonitor = coversMonitor(rect, list[static_cast<size_t>(index)]);
	info.borderlessStyle = !isChild(display, window) && !isDecorated(display, window);
}

} // namespace

bool captureForegroundWindow(ForegroundWindowInfo &info)
{
	installErrorHandler();
	Connection connection;
	Display *display = connection.get();
	if (!display)
		return false;
	const Window root = DefaultRootWindow(display);
	const Window window = firstValue(display, root, "_NET_ACTIVE_WINDOW", XA_WINDOW);
	if (window == None)
		return false;
	XWindowAttributes attributes{};
	if (!XGetWindowAttributes(display, window, &attributes) || t_failed || attributes.map_state != IsViewable)
		return false;
	const unsigned long pid = firstValue(display, window, "_NET_WM_PID", XA_CARDINAL);
	const std::string image = pid ? imagePathOf(pid) : std::string();
	if (image.empty())
		return false;
	setImagePath(info, image);
	info.title = windowTitle(display, window);
	info.windowClass = windowClass(display, window);
	if (t_failed || info.title.empty() || info.windowClass.empty() || info.exe.empty())
		return false;
	readGeometry(display, root, window, attributes, info);
	info.key = windowKey(window, pid);
	return !t_failed;
}

} // namespace vanteo::platform
