#include "updater/pending_install.h"

#include "common/log.h"
#include "platform/file_move.h"
#include "platform/module_path.h"
#include "updater/update_check.h"

#include <util/base.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace vanteo {

namespace fs = std::filesystem;

void installPendingUpdate()
{
	installPendingUpdateIn(pluginRootFolder());
}

void installPendingUpdateIn(const std::string &pluginFolder)
{
	if (!isVanteoFolder(pluginFolder))
		return;

	// The whole list first: moving files while walking would change what
	// the walk sees. Folders that cannot be read are skipped.
	std::vector<fs::path> staged;
	std::error_code error;
	fs::recursive_directory_iterator it(fs::u8path(pluginFolder), fs::directory_options::skip_permission_denied,
					    error);
	for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
		const fs::path &path = it->path();
		const std::string ext = path.extension().u8string();
		if (ext == ".old" || ext == ".new")
			staged.push_back(path);
	}

	for (const fs::path &path : staged) {
		const std::string file = path.u8string();
		if (path.extension() == ".old") {
			platform::removeFile(file);
			continue;
		}
		const fs::path stem = fs::path(path).replace_extension();
		// Libraries are swapped during the update itself; a library ".new"
		// left over is never installed at load.
		if (stem.extension().u8string() == platform::kLibraryExtension) {
			platform::removeFile(file);
			continue;
		}
		if (!platform::moveReplacing(file, stem.u8string()))
			logLine(LOG_WARNING, "update: %s stays pending", stem.filename().u8string().c_str());
	}
}

} // namespace vanteo
