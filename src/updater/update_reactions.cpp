#include "updater/update_reactions.h"

namespace vanteo {

using updater::Status;

BadgeLook badgeLook(Status status)
{
	switch (status) {
	case Status::Latest:
		return {"Latest", "#1f7a3d"};
	case Status::Available:
	case Status::Ready:
	case Status::Setup:
		return {"New update", "#9147ff"};
	default:
		return {};
	}
}

std::string badgeStyleSheet(const std::string &colour)
{
	return "QLabel { background: " + colour +
	       "; color: #ffffff; border-radius: 4px; padding: 1px 6px; font-size: 11px; "
	       "font-weight: 600; }";
}

int badgeSpacerCount(int badgeWidth, int spaceWidth)
{
	return badgeWidth / (spaceWidth < 1 ? 1 : spaceWidth) + 3;
}

UpdateReaction updateReaction(Status status, bool manual, bool hubExists, bool busy)
{
	if (!hubExists)
		return UpdateReaction::None;
	if (manual)
		return UpdateReaction::ShowUpdate;
	if (status == Status::Unknown || busy)
		return UpdateReaction::None;
	if (status == Status::Latest)
		return UpdateReaction::OfferNotes;
	return UpdateReaction::ShowUpdate;
}

NewsOffer newsOffer(const std::string &seen, bool configExists, const std::vector<ReleaseNote> &notes,
		    const std::string &current)
{
	NewsOffer offer;
	if (seen == current)
		return offer;
	offer.writeSeen = true;
	const bool existingUser = !seen.empty() || configExists;
	bool hasNote = false;
	for (const ReleaseNote &note : notes)
		hasNote = hasNote || note.version == current;
	if (existingUser && hasNote) {
		offer.show = true;
		// The text goes into the page address: keep to version characters.
		std::string since;
		for (char c : seen)
			if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
			    c == '-')
				since += c;
		offer.mode = "news&since=" + since;
	}
	return offer;
}

} // namespace vanteo
