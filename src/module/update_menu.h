#pragma once

#include "updater/update_reactions.h"
#include "updater/update_types.h"

#include <string>

class QWidget;

// The updater's side of the plug-in menu: the badge beside "Check for
// Updates", the reactions to status reports, the Updates page's actions and
// the restart of the host that finishes an update.
//
// Everything runs on the GUI thread except postUpdateStatus, which only
// posts.
namespace vanteo {

// Plugs the check entry and the badge into the menu (before it is built).
void installUpdateMenu();

// The updater's status callback: re-posts the report to the GUI thread.
void postUpdateStatus(const std::string &message, updater::Status status, bool manual);
// Badge, Updates dialog and release notes for one report.
void onUpdateStatus(updater::Status status, bool manual);
// The hub's update action handler: "restart" (only while every output is
// idle) and "update"; other words do nothing.
void handleUpdateAction(const std::string &word);
// Starts the helper that relaunches the host, then closes the main window.
void restartHost(QWidget *mainWindow);

// The last report other than Unknown (Unknown before any).
updater::Status badgeStatus();
// The badge's text ("" when hidden); for the menu and tests.
std::string badgeText();

// Applies the release-notes rule to "news-seen.txt" and "config.json" of the
// configuration folder: writes the marker when due and returns the decision.
NewsOffer offerReleaseNotes(const std::vector<ReleaseNote> &notes);

} // namespace vanteo
