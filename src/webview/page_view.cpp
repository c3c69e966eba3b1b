#include "webview/page_view.h"

#include "webview/navigation.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace vanteo::webview {

namespace {

constexpr int kLogWarning = 200; // libobs's LOG_WARNING

// Console errors logged per page: enough to see what broke, not a flood
// from a failing loop.
constexpr int kMaxErrorsLogged = 20;

const QColor kPageBackground(0x1e, 0x1e, 0x24); // the pages' own background

QString where(const QUrl &url)
{
	return url.host().isEmpty() ? url.scheme() : url.host();
}

// The pop-up page handed to Chromium for a new window: it never shows
// anything; its first real address goes to the default browser.
class PopupCatcher : public QWebEnginePage {
public:
	PopupCatcher(std::shared_ptr<Shared> shared, int port, QObject *opener)
		: QWebEnginePage(shared->profile(), opener), m_shared(std::move(shared)), m_port(port)
	{
	}

protected:
	bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
	{
		// window.open() without an address starts on about:blank and may
		// be pointed somewhere later.
		if (!isMainFrame || url.isEmpty() || url.scheme() == QLatin1String("about"))
			return false;
		// The plug-in's own pages have no place in a new window.
		if (decideNavigation(url, m_port, true) == Navigation::OpenOutside)
			m_shared->openExternal(url);
		else
			m_shared->log(kLogWarning,
				      QStringLiteral("webview: new window for %1 refused").arg(where(url)));
		deleteLater();
		return false;
	}

private:
	std::shared_ptr<Shared> m_shared;
	int m_port;
};

// The view itself, with a context menu that only edits: the default one
// also offers back, forward, reload, view source and save, which have no
// place in a dock.
class EditOnlyView : public QWebEngineView {
public:
	using QWebEngineView::QWebEngineView;

protected:
	void contextMenuEvent(QContextMenuEvent *event) override
	{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
		QMenu *menu = createStandardContextMenu();
#else
		QMenu *menu = page()->createStandardContextMenu();
#endif
		menu->setAttribute(Qt::WA_DeleteOnClose);
		const QWebEnginePage::WebAction kept[] = {
		    QWebEnginePage::Undo,
		    QWebEnginePage::Redo,
		    QWebEnginePage::Cut,
		    QWebEnginePage::Copy,
		    QWebEnginePage::Paste,
		    QWebEnginePage::PasteAndMatchStyle,
		    QWebEnginePage::SelectAll,
		    QWebEnginePage::CopyLinkToClipboard,
		    QWebEnginePage::CopyImageToClipboard,
		    QWebEnginePage::CopyImageUrlToClipboard,
		};
		auto keep = [&](QAction *action) {
			for (QWebEnginePage::WebAction a : kept)
				if (pageAction(a) == action)
					return true;
			return false;
		};
		// Drop the rest, then the separators left leading, trailing or
		// doubled.
		bool lastWasSeparator = true;
		for (QAction *action : menu->actions()) {
			if (action->isSeparator() ? lastWasSeparator : !keep(action)) {
				menu->removeAction(action);
				continue;
			}
			lastWasSeparator = action->isSeparator();
		}
		const QList<QAction *> left = menu->actions();
		if (!left.isEmpty() && left.last()->isSeparator())
			menu->removeAction(left.last());
		if (menu->actions().isEmpty()) {
			delete menu;
			return;
		}
		menu->popup(event->globalPos());
	}
};

} // namespace

Shared::Shared(std::string storageFolder, void (*log)(int, const char *), void (*openExternal)(const char *))
	: m_log(log), m_openExternal(openExternal)
{
	if (storageFolder.empty()) {
		m_profile = new QWebEngineProfile(); // off the record
	} else {
		const QString folder = QString::fromStdString(storageFolder);
		m_profile = new QWebEngineProfile(QStringLiteral("vanteo"));
		m_profile->setPersistentStoragePath(folder);
		m_profile->setCachePath(folder + QStringLiteral("/cache"));
	}
	// The pages come from the local server, which may change with an
	// update: nothing of them is cached on disk, and no cookie is kept.
	m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
	m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
	m_profile->setSpellCheckEnabled(false);
}

Shared::~Shared()
{
	delete m_profile;
}

void Shared::log(int level, const QString &text) const
{
	if (m_log)
		m_log(level, text.toUtf8().constData());
}

void Shared::openExternal(const QUrl &url) const
{
	if (m_openExternal)
		m_openExternal(url.toString(QUrl::FullyEncoded).toUtf8().constData());
}

ViewPage::ViewPage(std::shared_ptr<Shared> shared, QObject *parent)
	: QWebEnginePage(shared->profile(), parent), m_shared(std::move(shared))
{
	setBackgroundColor(kPageBackground);
	QWebEngineSettings *s = settings();
	// A dock that loads must not take the keyboard from OBS Studio.
	s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
	s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
	s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
	// Addresses of other schemes would otherwise go to the desktop's handler
	// without asking acceptNavigationRequest.
	s->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
}

bool ViewPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
	switch (decideNavigation(url, m_port, isMainFrame)) {
	case Navigation::Load:
		return true;
	case Navigation::OpenOutside:
		m_shared->openExternal(url);
		return false;
	case Navigation::Refuse:
		break;
	}
	m_shared->log(kLogWarning, QStringLiteral("webview: kept the view from %1").arg(where(url)));
	return false;
}

QWebEnginePage *ViewPage::createWindow(WebWindowType)
{
	return new PopupCatcher(m_shared, m_port, this);
}

void ViewPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
					const QString &source)
{
	if (level != ErrorMessageLevel || m_errorsLogged >= kMaxErrorsLogged)
		return;
	++m_errorsLogged;
	m_shared->log(
	    kLogWarning,
	    QStringLiteral("script error in %1: %2 (%3:%4)").arg(where(url()), message, QUrl(source).path()).arg(line));
}

PageView::PageView(QWidget *parent, std::shared_ptr<Shared> shared, const std::string &url)
	: QCefWidget(parent), m_shared(std::move(shared))
{
	auto *layout = new QHBoxLayout(this);
	layout->setContentsMargins(0, 0, 0, 0);
	setURL(url);
}

PageView::~PageView()
{
	// The page goes before the profile it belongs to (m_shared is released
	// after this body).
	delete m_view.data();
}

void PageView::setURL(const std::string &address)
{
	const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
	if (!m_view) {
		m_view = new EditOnlyView(this);
		m_page = new ViewPage(m_shared, m_view);
		m_view->setPage(m_page);
		connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
			[this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
				onRendererEnded(status);
			});
		layout()->addWidget(m_view);
		m_reloaded = false;
	}
	m_page->setLocalPort(url.port());
	m_page->setUrl(url);
}

void PageView::closeBrowser()
{
	delete m_view.data(); // takes its page along
}

void PageView::onRendererEnded(QWebEnginePage::RenderProcessTerminationStatus status)
{
	if (status == QWebEnginePage::NormalTerminationStatus || !m_page)
		return;
	const QString host = where(m_page->requestedUrl());
	if (m_reloaded) {
		m_shared->log(
		    kLogWarning,
		    QStringLiteral("webview: the %1 page stopped again; restart OBS Studio to bring it back").arg(host));
		return;
	}
	m_reloaded = true;
	m_shared->log(kLogWarning, QStringLiteral("webview: the %1 page stopped; reloading it").arg(host));
	// Not from inside the signal: the page is still tearing its renderer down.
	QTimer::singleShot(0, m_page, [page = m_page] {
		if (page)
			page->triggerAction(QWebEnginePage::Reload);
	});
}

} // namespace vanteo::webview
