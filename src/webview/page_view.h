#pragma once

#include "webview/qcef.h"

#include <QPointer>
#include <QWebEnginePage>

#include <memory>
#include <string>

class QWebEngineProfile;
class QWebEngineView;

// One page view of the plug-in: a Qt WebEngine view that stays on the local
// server's pages, hands followed links to the default browser and reloads
// its page once after a renderer crash. GUI thread only.
namespace vanteo::webview {

// What every view of the library shares: the host's hooks and the profile.
// Each view keeps it alive, so the profile goes only after its last page.
class Shared {
public:
	Shared(std::string storageFolder, void (*log)(int, const char *), void (*openExternal)(const char *));
	~Shared();
	QWebEngineProfile *profile() const { return m_profile; }
	void log(int level, const QString &text) const;
	void openExternal(const QUrl &url) const;

private:
	QWebEngineProfile *m_profile;
	void (*m_log)(int, const char *);
	void (*m_openExternal)(const char *);
};

class ViewPage : public QWebEnginePage {
public:
	ViewPage(std::shared_ptr<Shared> shared, QObject *parent);
	// The local server's port, taken from the address the view was given.
	void setLocalPort(int port) { m_port = port; }

protected:
	bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
	QWebEnginePage *createWindow(WebWindowType type) override;
	void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
				      const QString &source) override;

private:
	std::shared_ptr<Shared> m_shared;
	int m_port = 0;
	int m_errorsLogged = 0;
};

class PageView : public QCefWidget {
public:
	PageView(QWidget *parent, std::shared_ptr<Shared> shared, const std::string &url);
	~PageView() override;

	void setURL(const std::string &url) override;
	void setStartupScript(const std::string &) override {}
	void allowAllPopups(bool) override {}
	// Ends the page and its renderer (and so its event stream); the widget
	// stays, empty, until a new address is set.
	void closeBrowser() override;

private:
	void onRendererEnded(QWebEnginePage::RenderProcessTerminationStatus status);

	std::shared_ptr<Shared> m_shared;
	QPointer<QWebEngineView> m_view;
	QPointer<ViewPage> m_page;
	bool m_reloaded = false; // a crashed page is reloaded once
};

} // namespace vanteo::webview
