#pragma once

#include "module/fallback_panel.h"
#include "webview/qcef.h"

#include <QDialog>
#include <QPointer>

#include <memory>
#include <string>

// The four page views: the chat view inside the hub's own dock widget, the
// activity view in its dock, and the Setup and Updates dialogs. Each loads
// http://<view>.localhost:<port><path>, so every page has its own browser
// origin and storage.
//
// Everything here runs on the GUI thread; server threads reach it through
// the hub's window hooks, which the routes post to the GUI thread.
namespace vanteo {

class ChatDock;

// The views and their factory. The guarded pointers empty themselves when
// their widget is destroyed (a dialog takes its view along).
struct BrowserViews {
	QPointer<QCefWidget> chat;
	QPointer<QCefWidget> setup;
	QPointer<QDialog> setupDialog;
	QPointer<QCefWidget> updates;
	QPointer<QDialog> updatesDialog;
	QPointer<QCefWidget> activity;
	std::unique_ptr<QCef> factory; // nullptr without an embedded browser
	// The docks' panels when there is no embedded browser.
	QPointer<FallbackPanel> chatPanel;
	QPointer<FallbackPanel> activityPanel;
};

class BrowserPanels {
public:
	// Takes the host's embedded-browser factory, puts the chat page into the
	// hub's widget (or, without a browser, the fallback panel) and answers
	// the hub's window hooks from now on.
	explicit BrowserPanels(ChatDock &hub);
	// Withdraws the window hooks; the views stay with their widgets.
	~BrowserPanels();
	BrowserPanels(const BrowserPanels &) = delete;
	BrowserPanels &operator=(const BrowserPanels &) = delete;

	// A dock body for `page` (such as "feed.html"): the page in a browser
	// view, or, without an embedded browser, the fallback panel that opens
	// the page in the default browser. The caller owns the returned widget.
	QWidget *createPanel(const std::string &page);

	// Opens the Setup dialog, or shows and raises the one that exists.
	// Without an embedded browser the Setup page opens in the default
	// browser instead: for what the user asked for (menu, page buttons).
	void showSetup();
	// Opens the Updates dialog on `mode` ("update", "history",
	// "news&since=..."), or points the existing one at the new address.
	// Without an embedded browser the page opens in the default browser, as
	// for showSetup.
	void showUpdates(const std::string &mode);

	// What the plug-in opens by itself (Setup at the first start, the
	// updater's news): the dialog where OBS shows pages; otherwise the docks'
	// panels offer the page with a button and the reason (`why`), and no
	// browser window opens unasked.
	void offerSetup();
	void offerUpdates(const std::string &mode, const QString &why);

	// Hide the dialogs (and withdraw the panels' offers); the next show*
	// shows the same dialog again.
	void hideSetup();
	void hideUpdates();

	// Stops every page before the host's main window goes; the dialogs are
	// deleted later and the next show* builds new ones.
	void closeBrowsers();

	const BrowserViews &views() const { return m_views; }

private:
	void createChatView();
	// http://<view>.localhost:<port><path>?t=<token><query>, "" when the hub
	// is gone or its server did not start.
	std::string pageUrl(const std::string &view, const std::string &path,
			    const std::string &query = std::string()) const;

	QPointer<ChatDock> m_hub;
	BrowserViews m_views;
};

} // namespace vanteo
