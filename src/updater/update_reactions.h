#pragma once

#include "updater/update_types.h"

#include <string>
#include <vector>

// How the menu reacts to the updater's reports: the badge's look, whether
// the Updates dialog opens, and the one-time offer of a new version's notes.
// Pure decisions; update_menu.cpp applies them on the GUI thread.
namespace vanteo {

struct BadgeLook {
	std::string text;   // "" hides the badge
	std::string colour; // CSS colour of its background
};
// Latest: "Latest" on green; Available, Ready, Setup: "New update" on purple;
// Unknown: hidden.
BadgeLook badgeLook(updater::Status status);
// The badge's Qt style sheet for a colour.
std::string badgeStyleSheet(const std::string &colour);
// No-break spaces appended to the menu entry so it is wide enough for the
// badge: badge width / width of one space (at least 1) + 3.
int badgeSpacerCount(int badgeWidth, int spaceWidth);

enum class UpdateReaction {
	None,
	ShowUpdate, // open the Updates dialog in "update" mode
	OfferNotes, // the installed version's notes may be offered (see newsOffer)
};
// `busy` is true while the host streams or records; no dialog opens by
// itself then, except for a check the user asked for.
UpdateReaction updateReaction(updater::Status status, bool manual, bool hubExists, bool busy);

struct NewsOffer {
	bool writeSeen = false; // store the current version in "news-seen.txt"
	bool show = false;      // open the Updates dialog on `mode`
	std::string mode;       // "news&since=<previously seen version>"
};
// `seen` is the text of "news-seen.txt" ("" when missing); a user counts as
// an existing one when `seen` is not empty or "config.json" exists. The
// offer is recorded even when nothing is shown, so each version offers its
// notes at most once, and never to a fresh installation.
NewsOffer newsOffer(const std::string &seen, bool configExists, const std::vector<ReleaseNote> &notes,
		    const std::string &current);

} // namespace vanteo
