#include "module/browser_panels.h"

#include "hub/chat_dock.h"
#include "common/log.h"
#include "module/fallback_panel.h"
#include "common/host.h"

#include <QHBoxLayout>

#include <util/base.h>

namespace vanteo {

namespace {

QWidget *mainWindow()
{
	Host *h = host();
	return h ? h->mainWindow() : nullptr;
}

QHBoxLayout *bareLayout(QWidget *widget)
{
	auto *layout = new QHBoxLayout(widget);
	layout->setContentsMargins(0, 0, 0, 0);
	return layout;
}

// A dialog of the main window holding one page view. Closing it with the
// window's button only hides it, so the next call shows the same dialog.
QDialog *createPageDialog(QWidget *main, const char *title, int width, int height)
{
	auto *dialog = new QDialog(main);
	dialog->setWindowTitle(QString::fromUtf8(title));
	dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
	dialog->resize(width, height);
	bareLayout(dialog);
	return dialog;
}

void centreOn(QWidget *main, QDialog *dialog, int width, int height)
{
	dialog->move(main->geometry().center() - QPoint(width / 2, height / 2));
}

QCefWidget *addView(QCef &factory, QWidget *container, const std::string &url)
{
	QCefWidget *view = factory.create_widget(container, url, nullptr);
	if (view)
		container->layout()->addWidget(view);
	return view;
}

} // namespace

QWidget *createPanel(ChatDock &hub, const std::string &page)
{
	auto *panel = new QWidget();
	panel->setMinimumSize(240, 200);
	bareLayout(panel);

	const bool activity = page == "feed.html";
	const std::string url = hub.port() ? hub.pageUrl(activity ? "activity" : "panel",
							 "/" + page + "?t=" + hub.token())
					   : std::string();
	QCef *factory = hub.browserFactory();
	if (factory && !url.empty()) {
		if (QCefWidget *view = addView(*factory, panel, url)) {
			hub.views().activity = view;
			return panel;
		}
	}
	auto *fallback = new FallbackPanel(panel, activity ? "activity feed" : page, url);
	panel->layout()->addWidget(fallback);
	if (activity)
		hub.views().activityPanel = fallback;
	return panel;
}

void showSetup(ChatDock &hub)
{
	BrowserViews &views = hub.views();
	if (views.setupDialog) {
		views.setupDialog->show();
		views.setupDialog->raise();
		views.setupDialog->activateWindow();
		return;
	}
	if (!hub.port())
		return;
	const std::string url = hub.pageUrl("setup", "/setup.html?t=" + hub.token());
	QCef *factory = hub.browserFactory();
	if (!factory) {
		// A distribution build without obs-browser: the wizard still has to
		// be reachable, so it opens in the user's browser.
		openInBrowser(url);
		return;
	}
	QWidget *main = mainWindow();
	if (!main)
		return;
	QDialog *dialog = createPageDialog(main, "Vanteo \xE2\x80\x94 Setup", 900, 650);
	views.setup = addView(*factory, dialog, url);
	views.setupDialog = dialog;
	centreOn(main, dialog, 900, 650);
	dialog->show();
}

void showUpdates(ChatDock &hub, const std::string &mode)
{
	BrowserViews &views = hub.views();
	const std::string url =
	    hub.pageUrl("updates", "/update.html?t=" + hub.token() + "&mode=" + mode);
	if (views.updatesDialog) {
		if (views.updates)
			views.updates->setURL(url);
		views.updatesDialog->show();
		views.updatesDialog->raise();
		return;
	}
	if (!hub.port())
		return;
	QCef *factory = hub.browserFactory();
	if (!factory) {
		openInBrowser(url);
		return;
	}
	QWidget *main = mainWindow();
	if (!main)
		return;
	QDialog *dialog = createPageDialog(main, "Vanteo \xE2\x80\x94 Updates", 560, 500);
	dialog->setAttribute(Qt::WA_ShowWithoutActivating);
	views.updates = addView(*factory, dialog, url);
	views.updatesDialog = dialog;
	centreOn(main, dialog, 560, 500);
	dialog->show();
}

namespace {

void offerInPanels(BrowserViews &views, const std::string &key, const QString &why,
		   const QString &button, const std::string &url)
{
	for (FallbackPanel *panel : {views.chatPanel.data(), views.activityPanel.data()})
		if (panel)
			panel->offer(key, why, button, url);
	logLine(LOG_INFO, "offered in the docks: %s", why.toUtf8().constData());
}

void withdrawFromPanels(BrowserViews &views, const std::string &key)
{
	for (FallbackPanel *panel : {views.chatPanel.data(), views.activityPanel.data()})
		if (panel)
			panel->withdraw(key);
}

} // namespace

void offerSetup(ChatDock &hub)
{
	if (hub.browserFactory()) {
		showSetup(hub);
		return;
	}
	if (!hub.port())
		return;
	offerInPanels(hub.views(), "setup", QObject::tr("Setup needed"), QObject::tr("Open setup"),
		      hub.pageUrl("setup", "/setup.html?t=" + hub.token()));
}

void offerUpdates(ChatDock &hub, const std::string &mode, const QString &why)
{
	if (hub.browserFactory()) {
		showUpdates(hub, mode);
		return;
	}
	if (!hub.port())
		return;
	offerInPanels(hub.views(), "updates", why, QObject::tr("Open updates"),
		      hub.pageUrl("updates", "/update.html?t=" + hub.token() + "&mode=" + mode));
}

void hideSetup(ChatDock &hub)
{
	withdrawFromPanels(hub.views(), "setup");
	if (QDialog *dialog = hub.views().setupDialog)
		dialog->hide();
}

void hideUpdates(ChatDock &hub)
{
	withdrawFromPanels(hub.views(), "updates");
	if (QDialog *dialog = hub.views().updatesDialog)
		dialog->hide();
}

} // namespace vanteo
