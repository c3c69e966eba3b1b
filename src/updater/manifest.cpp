#include "updater/manifest.h"

#include <obs-data.h>

namespace vanteo {

namespace {

std::string text(obs_data_t *data, const char *key)
{
	const char *value = obs_data_get_string(data, key);
	return value ? value : "";
}

// Calls `each` with every object of the array `key` (absent: nothing).
template <typename Each> void forEachItem(obs_data_t *data, const char *key, Each each)
{
	obs_data_array_t *array = obs_data_get_array(data, key);
	if (!array)
		return;
	const size_t count = obs_data_array_count(array);
	for (size_t i = 0; i < count; ++i) {
		obs_data_t *item = obs_data_array_item(array, i);
		if (item) {
			each(item);
			obs_data_release(item);
		}
	}
	obs_data_array_release(array);
}

} // namespace

Manifest readManifest(const std::string &body)
{
	Manifest manifest;
	obs_data_t *data = obs_data_create_from_json(body.c_str());
	if (!data)
		return manifest;
	manifest.version = text(data, "version");
	forEachItem(data, "notes", [&](obs_data_t *item) {
		manifest.notes.push_back({text(item, "version"), text(item, "text")});
	});
	forEachItem(data, "files", [&](obs_data_t *item) {
		manifest.files.push_back({text(item, "path"), text(item, "sha256")});
	});
	obs_data_release(data);
	return manifest;
}

bool isSafeManifestPath(const std::string &path)
{
	if (path.empty() || path[0] == '/' || path.find("..") != std::string::npos)
		return false;
	for (unsigned char c : path) {
		bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
			  c == '.' || c == '/' || c == '_';
		if (!ok)
			return false;
	}
	return true;
}

bool isPlainVersion(const std::string &version)
{
	return !version.empty() && version.find_first_not_of("0123456789.") == std::string::npos;
}

} // namespace vanteo
