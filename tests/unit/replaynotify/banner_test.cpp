#include "common/persisted_switch.h"
#include "replaynotify/replay_notify.h"
#include "support/test_host.h"

#include <obs-frontend-api.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetricsF>
#include <QPointer>

#include <cmath>
#include <thread>

using namespace vanteo;
using namespace vanteo::replaynotify;
using namespace vanteo::test;

namespace {

void flushPosted()
{
	QCoreApplication::processEvents();
	QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int visibleBanners()
{
	int n = 0;
	for (QWidget *w : QApplication::topLevelWidgets())
		n += dynamic_cast<Banner *>(w) && w->isVisible();
	return n;
}

class BannerTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		replayNotifySwitch().set(true);
		startReplayNotify();
	}
	void TearDown() override
	{
		stopReplayNotify();
		flushPosted();
	}
	TestHost m_host;
};

} // namespace

TEST(BannerSize, ShortTextsKeepTheMinimumLongOnesWiden)
{
	// The English texts fit the minimum card in any common font (the
	// Italian ones do in the Windows font, not in every fallback).
	for (BannerKind kind : {BannerKind::Saved, BannerKind::On, BannerKind::Off})
		EXPECT_EQ(bannerContentSize(styleFor(kind), false), QSize(280, 62)) << int(kind);
	const char *longSubtitle = "Registrazione in background sospesa fino al prossimo avvio del replay buffer";
	const BannerStyle wide{QColor(1, 2, 3), "T", "S", "Titolo", longSubtitle};
	const qreal advance = QFontMetricsF(bannerSubtitleFont()).horizontalAdvance(QString::fromUtf8(longSubtitle));
	EXPECT_EQ(bannerContentSize(wide, true), QSize(static_cast<int>(std::ceil(advance + 91)), 62));
	EXPECT_GT(bannerContentSize(wide, true).width(), 280);
	EXPECT_EQ(&styleFor(static_cast<BannerKind>(7)), &styleFor(BannerKind::Off));
}

// Size, place and closing after its time on a real desktop are the OBS
// desktop test's (tests/obs/desktop.sh).
TEST_F(BannerTest, OneBannerAtATimeInTheHostLanguage)
{
	const struct {
		const char *locale;
		bool italian;
	} locales[] = {{"it-IT", true}, {"IT", false}, {"i", false}};
	for (const auto &l : locales) {
		m_host.setLocale(l.locale);
		showBanner(BannerKind::On);
		EXPECT_EQ(currentBanner()->italian(), l.italian) << l.locale;
	}
	EXPECT_EQ(visibleBanners(), 1); // each one replaced the one before
	flushPosted();
	EXPECT_EQ(QApplication::topLevelWidgets().count(), 1); // the replaced ones are deleted
}

TEST_F(BannerTest, SwitchingOffClosesTheBannerOnTheGuiThread)
{
	showBanner(BannerKind::Saved);
	replayNotifySwitch().set(false);
	EXPECT_EQ(currentBanner(), nullptr);
	EXPECT_EQ(visibleBanners(), 0);

	// From a server thread the close is posted, never done there.
	replayNotifySwitch().set(true);
	showBanner(BannerKind::On);
	QPointer<Banner> banner = currentBanner();
	std::thread route([] { replayNotifySwitch().set(false); });
	route.join();
	EXPECT_EQ(currentBanner(), banner.data());
	flushPosted();
	EXPECT_TRUE(banner.isNull());

	// Stop closes a banner still showing.
	showBanner(BannerKind::Saved);
	stopReplayNotify();
	EXPECT_EQ(visibleBanners(), 0);
}

TEST_F(BannerTest, EventsPostBannersOnlyWhileSwitchedOn)
{
	const struct {
		int event;
		bool shows;
		BannerKind kind;
	} events[] = {
	    {OBS_FRONTEND_EVENT_REPLAY_BUFFER_SAVED, true, BannerKind::Saved},
	    {OBS_FRONTEND_EVENT_REPLAY_BUFFER_STARTED, true, BannerKind::On},
	    {OBS_FRONTEND_EVENT_REPLAY_BUFFER_STOPPED, true, BannerKind::Off},
	    {OBS_FRONTEND_EVENT_REPLAY_BUFFER_STOPPING, false, BannerKind::Off},
	};
	for (const auto &e : events) {
		closeBanner();
		replayNotifyEvent(e.event);
		EXPECT_EQ(currentBanner(), nullptr) << e.event; // posted, not shown inline
		flushPosted();
		ASSERT_EQ(currentBanner() != nullptr, e.shows) << e.event;
		if (e.shows)
			EXPECT_EQ(currentBanner()->kind(), e.kind) << e.event;
	}
	closeBanner();
	replayNotifySwitch().set(false);
	replayNotifyEvent(OBS_FRONTEND_EVENT_REPLAY_BUFFER_SAVED);
	flushPosted();
	EXPECT_EQ(currentBanner(), nullptr);
}
