#pragma once

#include <obs-data.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The host's sources as automatic game capture sees them. In OBS Studio the
// catalog walks obs_enum_sources; tests give it fake sources holding real
// obs_data settings. Everything here runs on the game capture watcher
// thread; the visits happen synchronously inside forEach.
namespace vanteo {

// One source during a visit. Only valid inside the forEach callback.
class CaptureSource {
public:
	virtual ~CaptureSource() = default;
	// The source type id ("game_capture", "window_capture", ...); "" when
	// the host gives none.
	virtual std::string id() const = 0;
	virtual std::string name() const = 0;
	// Width of the current frame; 0 while a capture has not hooked.
	virtual uint32_t width() const = 0;
	// A new reference to the settings (the caller releases it), or nullptr.
	virtual obs_data_t *settings() const = 0;
	// Applies changed settings to the source.
	virtual void update(obs_data_t *settings) = 0;
};

class SourceCatalog {
public:
	virtual ~SourceCatalog() = default;
	virtual void forEach(const std::function<void(CaptureSource &)> &visit) = 0;
};

// The running host's sources (obs_enum_sources). Visits nothing while
// libobs is not started, as in the developer host.
class ObsSourceCatalog : public SourceCatalog {
public:
	void forEach(const std::function<void(CaptureSource &)> &visit) override;
};

// What one retarget pass carries from source to source.
struct RetargetContext {
	std::string window;               // the window-selection string to apply
	std::vector<std::string> changed; // names of the sources rewritten, in order
};

// Points one Game Capture or Window Capture source at ctx.window (matching
// by executable, with audio for Game Capture) unless it already is; other
// kinds are left alone. Always true, so that enumeration goes on.
bool retargetSource(CaptureSource &source, RetargetContext &ctx);

// The host's escaping of one part of the "window" setting: "#" becomes
// "#22" and ":" becomes "#3A", so that ":" can separate the parts.
std::string encodeWindowField(const std::string &text);

// "<title>:<class>:<exe>", each part encoded.
std::string windowSelection(const std::string &title, const std::string &windowClass, const std::string &exe);

// True when any Game Capture source has hooked (reports a width).
bool anyGameCaptureHooked(SourceCatalog &catalog);

} // namespace vanteo
