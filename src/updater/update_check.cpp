#include "updater/update_check.h"

#include "common/endpoints.h"
#include "platform/file_move.h"
#include "platform/files.h"
#include "platform/https.h"
#include "platform/module_path.h"
#include "platform/sha256.h"
#include "updater/manifest.h"
#include "updater/version.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace vanteo {

namespace fs = std::filesystem;

namespace {

const char kRepoContents[] = "/repos/Pellorra/vanteo-releases/contents/manifest.json";
const char kRawRoot[] = "/Pellorra/vanteo-releases/main/";
const char kRawAccept[] = "Accept: application/vnd.github.raw\r\n";

const std::string kProduct = "Vanteo ";

// A request counts only with a 200 answer.
bool fetch(const char *host, const std::string &path, std::string &body, const std::string &headers = {})
{
	uint32_t status = 0;
	return platform::httpsGet(host, platform::widenAscii(path), body, status, headers) && status == 200;
}

// The installed file's bytes; "" when it is missing or no regular file.
std::string installedBytes(const std::string &path)
{
	std::string bytes;
	platform::readRegularFile(path, bytes);
	return bytes;
}

// True only when every byte reached the file (a full disk shows at flush).
bool writeWholeFile(const std::string &path, const std::string &bytes)
{
	std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
	if (!out)
		return false;
	out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
	out.flush();
	return out.good();
}

bool hasExtension(const std::string &path, const std::string &ext)
{
	return fs::u8path(path).extension().u8string() == ext;
}

struct DownloadedFile {
	std::string destination; // absolute, native separators
	std::string content;
	bool library = false; // the platform's module library extension
};

void removeStaged(const std::vector<DownloadedFile> &files)
{
	for (const DownloadedFile &file : files)
		platform::removeFile(file.destination + ".new");
}

// One library swapped in (or tried): what the rollback has to undo.
struct Swap {
	const DownloadedFile *file;
	bool movedAway = false; // the previous library now sits at ".old"
};

// Undoes swaps in reverse order. Only an ".old" this check made is moved
// back: a stale ".old" from an earlier update must never replace the
// library in use. A library that did not exist before is removed again.
void rollBack(const std::vector<Swap> &swaps)
{
	for (auto it = swaps.rbegin(); it != swaps.rend(); ++it) {
		const std::string &dest = it->file->destination;
		if (it->movedAway)
			platform::moveReplacing(dest + ".old", dest);
		else
			platform::removeFile(dest);
	}
}

// Moves each library into place; false (everything undone) on a failure.
bool swapLibraries(const std::vector<DownloadedFile> &files)
{
	std::vector<Swap> swaps;
	for (const DownloadedFile &file : files) {
		if (!file.library)
			continue;
		const std::string &dest = file.destination;
		std::error_code error;
		const bool exists = fs::exists(fs::u8path(dest), error);
		if (error) {
			// Cannot tell whether a library is there: change nothing.
			rollBack(swaps);
			return false;
		}
		Swap swap{&file};
		bool ok = true;
		if (exists) {
			ok = platform::moveReplacing(dest, dest + ".old");
			swap.movedAway = ok;
		}
		ok = ok && platform::moveReplacing(dest + ".new", dest);
		if (!ok) {
			if (swap.movedAway)
				platform::moveReplacing(dest + ".old", dest);
			rollBack(swaps);
			return false;
		}
		swaps.push_back(swap);
	}
	return true;
}

} // namespace

std::string pluginFolderOf(const std::string &libraryPath)
{
	std::string folder = libraryPath;
	for (int i = 0; i < 3; ++i) {
		size_t cut = folder.find_last_of("/\\");
		if (cut == std::string::npos)
			return std::string();
		folder.erase(cut);
	}
	return folder;
}

std::string pluginRootFolder()
{
	return pluginFolderOf(platform::moduleLibraryPath());
}

bool isVanteoFolder(const std::string &folder)
{
	size_t cut = folder.find_last_of("/\\");
	return folder.substr(cut == std::string::npos ? 0 : cut + 1) == "vanteo";
}

std::string releasePageAddress()
{
	return endpoint(endpoint_names::kGitHubWeb).httpsRoot() + "Pellorra/vanteo-releases/releases/latest";
}

UpdateResult checkForUpdate(bool installAllowed, const std::string &pluginFolder, const std::atomic<bool> &alive)
{
	using updater::Status;
	UpdateResult result;

	std::string body;
	if (!fetch(endpoint_names::kGitHubApi, kRepoContents, body, kRawAccept) &&
	    !fetch(endpoint_names::kGitHubRaw, std::string(kRawRoot) + "manifest.json", body)) {
		result.message = "Could not reach GitHub to check for updates.";
		return result;
	}

	Manifest manifest = readManifest(body);
	const std::string &latest = manifest.version;
	result.latest = latest;
	result.notes = manifest.notes;
	// The version becomes part of every download path.
	if (!isPlainVersion(latest) || manifest.files.empty()) {
		result.message = "The update information could not be read.";
		return result;
	}
	if (isUpToDate(kCurrentVersion, latest)) {
		result.message = kProduct + kCurrentVersion + " is up to date.";
		result.status = Status::Latest;
		return result;
	}
	if (!isVanteoFolder(pluginFolder)) {
		result.message =
		    kProduct + latest + " is available. Install it with the setup from " + releasePageAddress() + ".";
		result.status = Status::Setup;
		return result;
	}
	if (!installAllowed) {
		result.message = kProduct + latest + " is available (you have " + kCurrentVersion + ").";
		result.status = Status::Available;
		return result;
	}

	// Everything is fetched and verified in memory before anything is
	// written, so a bad file leaves the folder as it was.
	std::vector<DownloadedFile> downloads;
	for (const ManifestFile &file : manifest.files) {
		if (!alive)
			return result; // abandoned: no message, status Unknown
		if (!isSafeManifestPath(file.path) || file.sha256.size() != 64) {
			result.message = "The update information is not valid. Nothing was changed.";
			return result;
		}
		const std::string dest = platform::nativeSeparators(pluginFolder + "/" + file.path);
		if (platform::sha256Hex(installedBytes(dest)) == file.sha256)
			continue;
		std::string content;
		if (!fetch(endpoint_names::kGitHubRaw, kRawRoot + latest + "/" + file.path, content) ||
		    platform::sha256Hex(content) != file.sha256) {
			result.message = "A file of Vanteo " + latest +
					 " could not be downloaded intact. Nothing was changed; "
					 "try again later.";
			result.status = Status::Available;
			return result;
		}
		downloads.push_back({dest, std::move(content), hasExtension(dest, platform::kLibraryExtension)});
	}
	if (downloads.empty()) {
		result.message = kProduct + latest + " is ready. Restart OBS to use it.";
		result.status = Status::Ready;
		return result;
	}

	for (const DownloadedFile &file : downloads) {
		std::error_code ignored;
		fs::create_directories(fs::u8path(file.destination).parent_path(), ignored);
		if (!writeWholeFile(file.destination + ".new", file.content)) {
			removeStaged(downloads);
			result.message = kProduct + latest +
					 " is available, but Vanteo cannot write to its folder. "
					 "Install it once with "
					 "the setup from " +
					 releasePageAddress() + "; later updates will then install on their own.";
			result.status = Status::Setup;
			return result;
		}
	}

	if (!swapLibraries(downloads)) {
		removeStaged(downloads);
		result.message = kProduct + latest +
				 " could not replace its plugin file. Nothing was changed; install "
				 "it with the setup "
				 "from " +
				 releasePageAddress() + ".";
		result.status = Status::Setup;
		return result;
	}

	// The other files stay as ".new" until the next load installs them.
	const size_t count = downloads.size();
	result.message = kProduct + latest + " is ready (" + std::to_string(count) + (count == 1 ? " file" : " files") +
			 " updated). Restart OBS to use it.";
	result.status = Status::Ready;
	return result;
}

} // namespace vanteo
