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
// ChatDock::postToGui.
namespace vanteo {

class ChatDock;

// The hub's views and its factory. The guarded pointers empty themselves
// when their widget is destroyed (a dialog takes its view along).
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

// A dock body for `page` (such as "feed.html"): the page in a browser view,
// or, without an embedded browser, the fallback panel that opens the page in
// the default browser. The caller owns the returned widget.
QWidget *createPanel(ChatDock &hub, const std::string &page);

// Opens the Setup dialog, or shows and raises the one that exists. Without
// an embedded browser the Setup page opens in the default browser instead:
// for what the user asked for (menu, page buttons).
void showSetup(ChatDock &hub);

// Opens the Updates dialog on `mode` ("update", "history", "news&since=..."),
// or points the existing one at the new address. Without an embedded browser
// the page opens in the default browser, as for showSetup.
void showUpdates(ChatDock &hub, const std::string &mode);

// What the plug-in opens by itself (Setup at the first start, the updater's
// news): the dialog where OBS shows pages; otherwise the docks' panels offer
// the page with a button and the reason (`why`), and no browser window
// opens unasked.
void offerSetup(ChatDock &hub);
void offerUpdates(ChatDock &hub, const std::string &mode, const QString &why);

// Hide the dialogs (and withdraw the panels' offers); the next show* shows
// the same dialog again.
void hideSetup(ChatDock &hub);
void hideUpdates(ChatDock &hub);

} // namespace vanteo
