#include "module/update_menu.h"

#include "common/log.h"
#include "module/browser_panels.h"
#include "common/host.h"
#include "module/lifecycle.h"
#include "module/plugin_menu.h"
#include "platform/restart.h"
#include "updater/updater.h"

#include <util/base.h>
#include <util/bmem.h>
#include <util/platform.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QPointer>

#include <cstring>

namespace vanteo {

using updater::Status;

namespace {

// GUI thread only.
struct BadgeState {
	QPointer<QLabel> label;
	Status status = Status::Unknown;
};

BadgeState &badge()
{
	static BadgeState s;
	return s;
}

void placeUpdateBadge()
{
	QMenu *menu = pluginMenu();
	QAction *action = updateMenuAction();
	QLabel *label = badge().label;
	if (!menu || !action || !label || label->isHidden())
		return;
	// Item geometry is final only once the menu has been laid out, which
	// is why the menu calls this again, queued, each time it opens.
	const QRect item = menu->actionGeometry(action);
	label->move(item.right() - 10 - label->width(), item.center().y() - label->height() / 2 + 1);
	label->raise();
}

void refreshUpdateBadge()
{
	QMenu *menu = pluginMenu();
	QAction *action = updateMenuAction();
	if (!menu || !action)
		return;
	BadgeState &s = badge();
	const BadgeLook look = badgeLook(s.status);
	if (!s.label) {
		s.label = new QLabel(menu);
		s.label->setAttribute(Qt::WA_TransparentForMouseEvents);
	}
	s.label->setText(QString::fromStdString(look.text));
	s.label->setStyleSheet(QString::fromStdString(badgeStyleSheet(look.colour)));
	s.label->adjustSize();
	s.label->setVisible(!look.text.empty());

	QString text = QString::fromUtf8(kCheckForUpdatesText);
	if (!look.text.empty()) {
		const int space = QFontMetrics(menu->font()).horizontalAdvance(QChar(0x00A0));
		text += QLatin1Char('\t') + QString(badgeSpacerCount(s.label->width(), space), QChar(0x00A0));
	}
	action->setText(text);
	placeUpdateBadge();
}

std::string readConfigText(const std::string &name)
{
	const std::string path = configFilePath(name);
	if (path.empty())
		return std::string();
	char *text = os_quick_read_utf8_file(path.c_str());
	std::string out = text ? text : "";
	bfree(text);
	return out;
}

} // namespace

void installUpdateMenu()
{
	UpdateMenuHooks hooks;
	hooks.checkForUpdates = [] {
		// After an install the entry offers the restart instead of checking
		// again.
		BrowserPanels *panels = pluginPanels();
		if (badge().status == Status::Ready && panels)
			panels->showUpdates("update");
		else
			requestUpdateCheck();
	};
	hooks.menuBuilt = refreshUpdateBadge;
	hooks.menuLaidOut = placeUpdateBadge;
	setUpdateMenuHooks(std::move(hooks));
}

updater::Status badgeStatus()
{
	return badge().status;
}

std::string badgeText()
{
	return badgeLook(badge().status).text;
}

void postUpdateStatus(const std::string &, Status status, bool manual)
{
	// The message is not forwarded: the Updates page reads it from the
	// snapshot.
	Host *h = host();
	QWidget *main = h ? h->mainWindow() : nullptr;
	if (!main)
		return;
	QMetaObject::invokeMethod(
	    main, [status, manual] { onUpdateStatus(status, manual); }, Qt::QueuedConnection);
}

NewsOffer offerReleaseNotes(const std::vector<ReleaseNote> &notes)
{
	const std::string seen = readConfigText("news-seen.txt");
	const std::string config = configFilePath("config.json");
	NewsOffer offer = newsOffer(seen, !config.empty() && os_file_exists(config.c_str()), notes, kCurrentVersion);
	if (offer.writeSeen && ensureConfigFolder()) {
		const std::string path = configFilePath("news-seen.txt");
		os_quick_write_utf8_file(path.c_str(), kCurrentVersion, std::strlen(kCurrentVersion), false);
	}
	return offer;
}

void onUpdateStatus(Status status, bool manual)
{
	if (status != Status::Unknown)
		badge().status = status;
	refreshUpdateBadge();

	BrowserPanels *panels = pluginPanels();
	Host *h = host();
	const bool busy = h && h->streamingOrRecording();
	// What the user asked for opens; what the updater finds on its own is
	// offered (see BrowserPanels::offerUpdates).
	switch (updateReaction(status, manual, panels != nullptr, busy)) {
	case UpdateReaction::ShowUpdate:
		if (manual)
			panels->showUpdates("update");
		else
			panels->offerUpdates("update", status == Status::Ready ? QObject::tr("Update ready")
									       : QObject::tr("Update available"));
		break;
	case UpdateReaction::OfferNotes: {
		NewsOffer offer = offerReleaseNotes(updateSnapshot().notes);
		if (offer.show)
			panels->offerUpdates(offer.mode, QObject::tr("What's new in this version"));
		break;
	}
	case UpdateReaction::None:
		break;
	}
}

void handleUpdateAction(const std::string &word)
{
	if (word == "restart") {
		Host *h = host();
		QWidget *main = h ? h->mainWindow() : nullptr;
		if (main && !h->outputsActive())
			restartHost(main);
	} else if (word == "update") {
		requestUpdateCheck();
	}
}

void restartHost(QWidget *mainWindow)
{
	const QString exe = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
	const QString dir = QDir::toNativeSeparators(QFileInfo(QCoreApplication::applicationFilePath()).absolutePath());
	std::vector<std::string> args;
	const QStringList all = QCoreApplication::arguments();
	for (int i = 1; i < all.size(); ++i)
		args.push_back(all[i].toStdString());
	if (!platform::startRestartHelper(QCoreApplication::applicationPid(), exe.toStdString(), dir.toStdString(),
					  args)) {
		logLine(LOG_WARNING, "update: OBS could not be restarted");
		return;
	}
	logLine(LOG_INFO, "update: restarting OBS");
	// Closing the main window ends the host normally; the helper waits for
	// the process to be gone before it starts the new one.
	if (mainWindow)
		mainWindow->close();
}

} // namespace vanteo
