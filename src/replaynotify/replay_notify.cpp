#include "replaynotify/replay_notify.h"

#include "common/log.h"
#include "common/persisted_switch.h"
#include "common/host.h"
#include "platform/overlay_window.h"

#include <obs-frontend-api.h>
#include <util/base.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScreen>
#include <QThread>
#include <QTimer>

namespace vanteo {

using replaynotify::Banner;
using replaynotify::BannerKind;

namespace {

// GUI thread only.
QPointer<Banner> g_banner;
bool g_handlerRegistered = false;

void onFrontendEvent(enum obs_frontend_event event, void *)
{
	replayNotifyEvent(static_cast<int>(event));
}

bool onGuiThread()
{
	QCoreApplication *app = QCoreApplication::instance();
	return app && QThread::currentThread() == app->thread();
}

// The switch's off hook. The control API turns the switch off from a
// server thread, where no widget may be touched: the close is posted then.
void closeBannerFromAnyThread()
{
	if (onGuiThread()) {
		closeBanner();
		return;
	}
	if (QCoreApplication *app = QCoreApplication::instance())
		QMetaObject::invokeMethod(
		    app, [] { closeBanner(); }, Qt::QueuedConnection);
}

} // namespace

bool isItalianLocale(const std::string &locale)
{
	return locale.size() >= 2 && locale[0] == 'i' && locale[1] == 't';
}

void startReplayNotify()
{
	replayNotifySwitch().load();
	replayNotifySwitch().setOffHook(closeBannerFromAnyThread);
	if (!g_handlerRegistered) {
		obs_frontend_add_event_callback(onFrontendEvent, nullptr);
		g_handlerRegistered = true;
	}
	logLine(LOG_INFO, "replay buffer notifications: %s", replayNotifySwitch().on() ? "on" : "off");
}

void stopReplayNotify()
{
	if (g_handlerRegistered) {
		obs_frontend_remove_event_callback(onFrontendEvent, nullptr);
		g_handlerRegistered = false;
	}
	replayNotifySwitch().setOffHook(nullptr);
	closeBanner();
}

void replayNotifyEvent(int event)
{
	if (!replayNotifySwitch().on())
		return;
	BannerKind kind;
	switch (event) {
	case OBS_FRONTEND_EVENT_REPLAY_BUFFER_SAVED:
		kind = BannerKind::Saved;
		break;
	case OBS_FRONTEND_EVENT_REPLAY_BUFFER_STARTED:
		kind = BannerKind::On;
		break;
	case OBS_FRONTEND_EVENT_REPLAY_BUFFER_STOPPED:
		kind = BannerKind::Off;
		break;
	default:
		return;
	}
	if (QCoreApplication *app = QCoreApplication::instance())
		QMetaObject::invokeMethod(
		    app, [kind] { showBanner(kind); }, Qt::QueuedConnection);
}

Banner *currentBanner()
{
	return g_banner.data();
}

void closeBanner()
{
	// WA_DeleteOnClose: closing schedules the deletion; the guard empties
	// then. Forget it now so that a new banner never sees the old one.
	if (Banner *banner = g_banner.data()) {
		g_banner = nullptr;
		banner->close();
	}
}

void showBanner(BannerKind kind, const BannerTimings &timings)
{
	closeBanner();
	Host *h = host();
	auto *banner = new Banner(kind, h && isItalianLocale(h->locale()));
	const QSize card = replaynotify::bannerContentSize(replaynotify::styleFor(kind), banner->italian());
	banner->resize(card.width() + 2 * replaynotify::kBannerMargin, card.height() + 2 * replaynotify::kBannerMargin);
	if (QScreen *screen = QGuiApplication::primaryScreen()) {
		const QRect area = screen->availableGeometry();
		banner->move(area.right() + 1 - banner->width(), area.top());
	}
	banner->setWindowOpacity(0.0);
	g_banner = banner;
	banner->show();
	platform::makeOverlayWindow(static_cast<uintptr_t>(banner->winId()));

	replaynotify::fadeTo(banner, 1.0, timings.fadeInMs);
	// The banner is the timer's context: a banner closed early takes the
	// pending fade-out with it.
	QPointer<Banner> guard(banner);
	const int fadeOutMs = timings.fadeOutMs;
	QTimer::singleShot(timings.holdMs, banner, [guard, fadeOutMs] {
		if (!guard)
			return;
		QPropertyAnimation *fade = replaynotify::fadeTo(guard, 0.0, fadeOutMs);
		QObject::connect(fade, &QPropertyAnimation::finished, guard.data(), [guard] {
			if (guard)
				guard->close();
		});
	});
}

} // namespace vanteo
