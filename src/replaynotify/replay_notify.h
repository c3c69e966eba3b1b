#pragma once

#include "replaynotify/banner.h"

#include <string>

// Replay buffer notifications: a banner in the top-right corner of the
// primary screen when the replay buffer starts, saves a replay or stops.
//
// Threads: start, stop and showBanner run on the GUI thread. The front-end
// event handler may run on any thread; it only reads the switch and posts
// showBanner to the GUI thread. The switch may be flipped from any thread;
// closing an open banner is then posted to the GUI thread.
namespace vanteo {

// How long the banner fades in, stays, and fades out.
struct BannerTimings {
	int fadeInMs = 220;
	int holdMs = 2720; // from showing to the start of the fade-out
	int fadeOutMs = 350;
};

// Reads "replaynotify.txt" into the switch and registers the front-end
// event handler (once).
void startReplayNotify();
// Removes the handler and closes an open banner.
void stopReplayNotify();

// Replaces any open banner with a new one of `kind`, in Italian when the
// host's language is. GUI thread only.
void showBanner(replaynotify::BannerKind kind, const BannerTimings &timings = BannerTimings());
// The banner on screen, or nullptr. GUI thread only.
replaynotify::Banner *currentBanner();
// Closes the open banner at once, without a fade. GUI thread only.
void closeBanner();

// The handler's work for one front-end event: with the switch on, posts a
// banner for the replay buffer's started, saved and stopped events.
void replayNotifyEvent(int event);

// True for "it" and "it-..." (case-sensitive: "IT" is not Italian).
bool isItalianLocale(const std::string &locale);

} // namespace vanteo
