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
