#include "module/browser_panels.h"

#include "common/host.h"
#include "common/log.h"
#include "hub/chat_dock.h"

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

BrowserPanels::BrowserPanels(ChatDock &hub) : m_hub(&hub)
{
	createChatView();
	ChatDock::WindowHooks hooks;
	hooks.showSetup = [this] {
		showSetup();
	};
	hooks.hideSetup = [this] {
		hideSetup();
	};
	hooks.hideUpdates = [this] {
		hideUpdates();
	};
	hub.setWindowHooks(std::move(hooks));
}

BrowserPanels::~BrowserPanels()
{
	if (m_hub)
		m_hub->setWindowHooks(ChatDock::WindowHooks());
}

std::string BrowserPanels::pageUrl(const std::string &view, const std::string &path, const std::string &query) const
{
	if (!m_hub || !m_hub->port())
		return std::string();
	return "http://" + view + ".localhost:" + std::to_string(m_hub->port()) + path + "?t=" + m_hub->token() + query;
}

void BrowserPanels::createChatView()
{
	Host *h = host();
	m_views.factory.reset(h ? h->createBrowserFactory() : nullptr);
	const std::string url = pageUrl("chat", "/");
	if (m_views.factory && !url.empty()) {
		m_views.factory->init_browser();
		m_views.chat = m_views.factory->create_widget(m_hub, url, nullptr);
		if (m_views.chat) {
			m_hub->layout()->addWidget(m_views.chat);
			return;
		}
	}
	// Without an embedded browser the dock offers its page in the default
	// browser instead of staying empty.
	logLine(LOG_WARNING, "embedded browser unavailable (port %d)", m_hub->port());
	m_views.chatPanel = new FallbackPanel(m_hub, "chat", url);
	m_hub->layout()->addWidget(m_views.chatPanel);
}

QWidget *BrowserPanels::createPanel(const std::string &page)
{
	auto *panel = new QWidget();
	panel->setMinimumSize(240, 200);
	bareLayout(panel);

	const bool activity = page == "feed.html";
	const std::string url = pageUrl(activity ? "activity" : "panel", "/" + page);
	QCef *factory = m_views.factory.get();
	if (factory && !url.empty()) {
		if (QCefWidget *view = addView(*factory, panel, url)) {
			m_views.activity = view;
			return panel;
		}
	}
	auto *fallback = new FallbackPanel(panel, activity ? "activity feed" : page, url);
	panel->layout()->addWidget(fallback);
	if (activity)
		m_views.activityPanel = fallback;
	return panel;
}

void BrowserPanels::showSetup()
{
	if (m_views.setupDialog) {
		m_views.setupDialog->show();
		m_views.setupDialog->raise();
		m_views.setupDialog->activateWindow();
		return;
	}
	const std::string url = pageUrl("setup", "/setup.html");
	if (url.empty())
		return;
	QCef *factory = m_views.factory.get();
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
	m_views.setup = addView(*factory, dialog, url);
	m_views.setupDialog = dialog;
	centreOn(main, dialog, 900, 650);
	dialog->show();
}

void BrowserPanels::showUpdates(const std::string &mode)
{
	const std::string url = pageUrl("updates", "/update.html", "&mode=" + mode);
	if (m_views.updatesDialog) {
		if (m_views.updates)
			m_views.updates->setURL(url);
		m_views.updatesDialog->show();
		m_views.updatesDialog->raise();
		return;
	}
	if (url.empty())
		return;
	QCef *factory = m_views.factory.get();
	if (!factory) {
		openInBrowser(url);
		return;
	}
	QWidget *main = mainWindow();
	if (!main)
		return;
	QDialog *dialog = createPageDialog(main, "Vanteo \xE2\x80\x94 Updates", 560, 500);
	dialog->setAttribute(Qt::WA_ShowWithoutActivating);
	m_views.updates = addView(*factory, dialog, url);
	m_views.updatesDialog = dialog;
	centreOn(main, dialog, 560, 500);
	dialog->show();
}

namespace {

void offerInPanels(BrowserViews &views, const std::string &key, const QString &why, const QString &button,
		   const std::string &url)
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

void BrowserPanels::offerSetup()
{
	if (m_views.factory) {
		showSetup();
		return;
	}
	const std::string url = pageUrl("setup", "/setup.html");
	if (!url.empty())
		offerInPanels(m_views, "setup", QObject::tr("Setup needed"), QObject::tr("Open setup"), url);
}

void BrowserPanels::offerUpdates(const std::string &mode, const QString &why)
{
	if (m_views.factory) {
		showUpdates(mode);
		return;
	}
	const std::string url = pageUrl("updates", "/update.html", "&mode=" + mode);
	if (!url.empty())
		offerInPanels(m_views, "updates", why, QObject::tr("Open updates"), url);
}

void BrowserPanels::hideSetup()
{
	withdrawFromPanels(m_views, "setup");
	if (QDialog *dialog = m_views.setupDialog)
		dialog->hide();
}

void BrowserPanels::hideUpdates()
{
	withdrawFromPanels(m_views, "updates");
	if (QDialog *dialog = m_views.updatesDialog)
		dialog->hide();
}

void BrowserPanels::closeBrowsers()
{
	BrowserViews &v = m_views;
	if (v.chat)
		v.chat->closeBrowser();
	if (v.activity)
		v.activity->closeBrowser();
	if (v.setup)
		v.setup->closeBrowser();
	if (v.setupDialog) {
		v.setupDialog->hide();
		v.setupDialog->deleteLater();
	}
	if (v.updates)
		v.updates->closeBrowser();
	if (v.updatesDialog) {
		v.updatesDialog->hide();
		v.updatesDialog->deleteLater();
	}
	// Forgotten now rather than at the deferred deletion, so that a show
	// request in between builds a new dialog instead of raising a dying one.
	v.chat = v.activity = v.setup = v.updates = nullptr;
	v.setupDialog = v.updatesDialog = nullptr;
	logLine(LOG_INFO, "browsers closed");
}

} // namespace vanteo
