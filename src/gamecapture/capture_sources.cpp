#include "gamecapture/capture_sources.h"

#include <obs.h>

namespace vanteo {

namespace {

const char kGameCapture[] = "game_capture";
const char kWindowCapture[] = "window_capture";
// The capture sources' priority value for "match the window by its
// executable", so the game is found again after it restarts.
const long long kPriorityExecutable = 2;

class ObsSource : public CaptureSource {
public:
	explicit ObsSource(obs_source_t *source) : m_source(source) {}
	std::string id() const override
	{
		const char *id = obs_source_get_id(m_source);
		return id ? id : "";
	}
	std::string name() const override
	{
		const char *name = obs_source_get_name(m_source);
		return name ? name : "";
	}
	uint32_t width() const override { return obs_source_get_width(m_source); }
	obs_data_t *settings() const override { return obs_source_get_settings(m_source); }
	void update(obs_data_t *settings) override { obs_source_update(m_source, settings); }

private:
	obs_source_t *m_source;
};

bool visitObsSource(void *param, obs_source_t *source)
{
	ObsSource wrapped(source);
	(*static_cast<const std::function<void(CaptureSource &)> *>(param))(wrapped);
	return true;
}

} // namespace

void ObsSourceCatalog::forEach(const std::function<void(CaptureSource &)> &visit)
{
	if (!obs_initialized())
		return;
	obs_enum_sources(visitObsSource, const_cast<std::function<void(CaptureSource &)> *>(&visit));
}

bool retargetSource(CaptureSource &source, RetargetContext &ctx)
{
	const std::string id = source.id();
	const bool game = id == kGameCapture;
	if (!game && id != kWindowCapture)
		return true;
	obs_data_t *settings = source.settings();
	if (!settings)
		return true;
	const char *window = obs_data_get_string(settings, "window");
	const char *mode = obs_data_get_string(settings, "capture_mode");
	const bool onTarget = ctx.window == window && obs_data_get_int(settings, "priority") == kPriorityExecutable &&
			      (!game || std::string(mode) == "window");
	if (!onTarget) {
		if (game) {
			obs_data_set_string(settings, "capture_mode", "window");
			obs_data_set_bool(settings, "capture_audio", true);
		}
		obs_data_set_string(settings, "window", ctx.window.c_str());
		obs_data_set_int(settings, "priority", kPriorityExecutable);
		source.update(settings);
		ctx.changed.push_back(source.name());
	}
	obs_data_release(settings);
	return true;
}

std::string encodeWindowField(const std::string &text)
{
	std::string out;
	out.reserve(text.size());
	for (char c : text) {
		if (c == '#')
			out += "#22";
		else if (c == ':')
			out += "#3A";
		else
			out += c;
	}
	return out;
}

std::string windowSelection(const std::string &title, const std::string &windowClass, const std::string &exe)
{
	return encodeWindowField(title) + ":" + encodeWindowField(windowClass) + ":" + encodeWindowField(exe);
}

bool anyGameCaptureHooked(SourceCatalog &catalog)
{
	bool hooked = false;
	catalog.forEach([&hooked](CaptureSource &source) {
		if (source.id() == kGameCapture && source.width() != 0)
			hooked = true;
	});
	return hooked;
}

} // namespace vanteo
