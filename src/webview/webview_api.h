#pragma once

// The one entry point of the page-view library (vanteo-webview.so), which
// the module loads at run time when OBS Studio has no obs-browser. The
// library shows the plug-in's pages with Qt WebEngine behind the same small
// QCef interface as obs-browser (module/qcef.h), so the rest of the module
// does not know which of the two it uses.
//
// Kept to C types so that the module and the library agree on it without
// sharing anything else; the module never links Qt WebEngine itself.

extern "C" {

struct VanteoWebViewHooks {
	// Folder of the views' profile (local storage of the pages); nullptr or
	// "" keeps everything in memory.
	const char *storageFolder;
	// Writes one line to the host's log; `level` is a libobs log level.
	void (*log)(int level, const char *text);
	// Opens an address outside the plug-in (a clicked link) in the user's
	// default browser.
	void (*openExternal)(const char *url);
};

// Exported by the library under this name.
#define VANTEO_WEBVIEW_ENTRY "vanteo_webview_create_qcef"

// A new factory (the caller owns it). Call on the GUI thread, with a
// QApplication running.
struct QCef;
typedef QCef *(*VanteoWebViewCreate)(const VanteoWebViewHooks *hooks);
}
