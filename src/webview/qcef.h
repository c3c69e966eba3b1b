#pragma once

#include <QWidget>

#include <string>

// The embedded-browser interface of OBS Studio's obs-browser module, which is
// loaded at run time and ships no development header. Only the operations
// this plug-in calls are declared, but every virtual function up to the last
// one used is listed in obs-browser's own order: calls go through the vtable,
// so the prefix of slots must match the module's layout exactly. Nothing
// after the last declared slot matters.
//
// All of it is GUI-thread only.

struct QCefCookieManager;

// One browser view. Deleting the widget destroys the view; `closeBrowser`
// stops the page first (used when the host's main window closes).
class QCefWidget : public QWidget {
protected:
	explicit QCefWidget(QWidget *parent) : QWidget(parent) {}

public:
	virtual void setURL(const std::string &url) = 0;
	virtual void setStartupScript(const std::string &script) = 0;
	virtual void allowAllPopups(bool allow) = 0;
	virtual void closeBrowser() = 0;
};

// The factory that obs-browser's exported "obs_browser_create_qcef" returns.
// The caller owns it.
struct QCef {
	virtual ~QCef() {}

	virtual bool init_browser(void) = 0;
	virtual bool initialized(void) = 0;
	virtual bool wait_for_browser_init(void) = 0;

	virtual QCefWidget *create_widget(QWidget *parent, const std::string &url,
					  QCefCookieManager *cookie_manager = nullptr) = 0;
};

namespace vanteo {

// Asks the loaded obs-browser module for a factory: the module by name, its
// library, the exported symbol, then the call. nullptr when any step yields
// nothing (distribution builds of OBS Studio ship no obs-browser) or when no
// libobs core is running in this process.
QCef *loadBrowserFactory();

// The plug-in's own page views over Qt WebEngine, for an OBS Studio without
// obs-browser: the library beside the module file (vanteo-webview.so) is
// loaded once and stays loaded. `storageFolder` holds the pages' local
// storage ("" keeps it in memory). nullptr when the library is missing or
// cannot load (no Qt WebEngine on the system).
QCef *loadWebViewFactory(const std::string &storageFolder);

} // namespace vanteo
