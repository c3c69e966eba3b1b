#include "update_tree.h"
#include "updater/update_check.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace vanteo;
using namespace vanteo::test;
using updater::Status;

namespace {

const char kLib[] = "bin/64bit/vanteo.so";
const char kFeed[] = "data/web/feed.html";
const char kSetup[] = "data/web/setup.html";
const char kLocale[] = "data/locale/en-US.ini";

// The installed 0.3.11.
const FileMap kInstalled = {{kLib, "lib 0.3.11"}, {kFeed, "feed 0.3.11"}, {kSetup, "setup"}, {kLocale, "locale 0.3.11"}};

struct CheckCase {
	const char *name;
	Status status;
	std::string message;   // "{page}" stands for the release page
	std::string manifest;  // "" : the manifest of `release`
	FileMap release;       // files of 0.4.0 as served and listed
	FileMap added;         // files expected beside (or over) the tree
	int downloads = -1;    // -1: not checked
	FileMap local;         // added to the installed tree first
	std::string configure; // the fake's forced answers
	const char *folder = "vanteo";
};

std::string withPage(std::string text)
{
	const size_t at = text.find("{page}");
	if (at != std::string::npos)
		text.replace(at, 6, releasePageAddress());
	return text;
}

FileMap merged(FileMap a, const FileMap &b)
{
	for (const auto &[k, v] : b)
		a[k] = v;
	return a;
}

// The installed files with one changed feed page, for the sentence cases.
FileMap release(const FileMap &changes)
{
	return merged(kInstalled, changes);
}

} // namespace

using UpdateCheckTest = FakesTest;

TEST_F(UpdateCheckTest, Outcomes)
{
	const std::string digest63 = platform::sha256Hex("x").substr(1);
	auto oneFile = [](const std::string &path, const std::string &sha) {
		return "{\"version\":\"0.4.0\",\"files\":[{\"path\":" + jsonQuote(path) +
		       ",\"sha256\":" + jsonQuote(sha) + "}]}";
	};
	const std::string validSha = platform::sha256Hex("x");
	const std::string intact = "A file of Vanteo 0.4.0 could not be downloaded intact. Nothing "
				   "was changed; try again later.";
	const std::string invalid = "The update information is not valid. Nothing was changed.";

	const std::string ready1 = "Vanteo 0.4.0 is ready (1 file updated). Restart OBS to use it.";
	const std::string upToDate = "Vanteo 0.3.11 is up to date.";
	const std::string unreachable = "Could not reach GitHub to check for updates.";
	const std::string ready04 = "Vanteo 0.4 is ready. Restart OBS to use it.";
	const std::string setupOnly = "Vanteo 0.4.0 is available. Install it with the setup from {page}.";
	const FileMap feed = release({{kFeed, "feed 0.4.0"}});
	const FileMap libAndFeed = release({{kLib, "lib 0.4.0"}, {kFeed, "feed 0.4.0"}});
	const std::string logo = "data/web/img/logo.svg";
	const std::string feedFails = R"({"file":{"0.4.0/data/web/feed.html":500}})";
	// A check that may not install is UpdaterTest's (the switch off).
	const std::vector<CheckCase> cases = {
	    {"same version", Status::Latest, upToDate, manifestFor("0.3.11", kInstalled), {}, {}, 0},
	    {"unreachable", Status::Unknown, unreachable, "", {}, {}, -1, {}, R"({"api":500,"raw":500})"},
	    // The API's rate limit: the raw host answers; all files current.
	    {"API limited", Status::Ready, ready04, manifestFor("0.4", kInstalled), {}, {}, 0, {}, R"({"api":403})"},
	    {"empty files", Status::Unknown, "The update information could not be read.",
	     R"({"version":"0.4.0","files":[]})"},
	    // Nothing is written when a later entry is unsafe.
	    {"unsafe entry after a good one",
	     Status::Unknown,
	     invalid,
	     R"({"version":"0.4.0","files":[{"path":"data/web/feed.html","sha256":")" +
		 platform::sha256Hex("feed 0.4.0") + R"("},{"path":"data/../../x","sha256":")" + validSha + R"("}]})",
	     {{kFeed, "feed 0.4.0"}}},
	    {"63-digit digest", Status::Unknown, invalid, oneFile(kFeed, digest63), {}, {}, 0},
	    {"one file", Status::Ready, ready1, "", feed, {{std::string(kFeed) + ".new", "feed 0.4.0"}}, 1},
	    {"three files, library swapped",
	     Status::Ready,
	     "Vanteo 0.4.0 is ready (3 files updated). Restart OBS to use it.",
	     "",
	     release({{kLib, "lib 0.4.0"}, {kFeed, "feed 0.4.0"}, {kLocale, "locale 0.4.0"}}),
	     {{kLib, "lib 0.4.0"},
	      {std::string(kLib) + ".old", "lib 0.3.11"},
	      {std::string(kFeed) + ".new", "feed 0.4.0"},
	      {std::string(kLocale) + ".new", "locale 0.4.0"}},
	     3},
	    {"file in a new folder", Status::Ready, ready1, "", release({{logo, "<svg/>"}}), {{logo + ".new", "<svg/>"}}},
	    {"download fails", Status::Available, intact, "", libAndFeed, {}, -1, {}, feedFails},
	    {"served file differs", Status::Available, intact, manifestFor("0.4.0", feed), {{kFeed, "tampered"}}},
	    {"folder cannot be written",
	     Status::Setup,
	     "Vanteo 0.4.0 is available, but Vanteo cannot write to its folder. Install it once with the setup from "
	     "{page}; later updates will then install on their own.",
	     "",
	     release({{kFeed, "feed 0.4.0"}, {"data/zz/x.html", "x"}}),
	     {},
	     -1,
	     {{"data/zz", "a file where a folder should be"}}},
	    {"library swap fails half-way",
	     Status::Setup,
	     "Vanteo 0.4.0 could not replace its plugin file. Nothing was changed; install it with the setup from "
	     "{page}.",
	     "",
	     release({{kLib, "lib 0.4.0"},
		      {"bin/64bit/new.so", "new"},
		      {"bin/64bit/zz.so", "zz 0.4.0"},
		      {kFeed, "feed 0.4.0"}}),
	     {},
	     -1,
	     {{"bin/64bit/zz.so", "zz 0.3.11"}, {"bin/64bit/zz.so.old/keep", "a folder blocks the move"}}},
	    {"other folder name", Status::Setup, setupOnly, "", feed, {}, 0, {}, "", "obs-plugins"},
	};

	std::atomic<bool> alive{true};
	for (const CheckCase &c : cases) {
		SCOPED_TRACE(c.name);
		ASSERT_TRUE(m_fakes.reset());
		publish(c.manifest.empty() ? manifestFor("0.4.0", c.release) : c.manifest, "0.4.0", c.release);
		if (!c.configure.empty())
			m_fakes.command("github", "configure", c.configure);
		const FileMap before = merged(kInstalled, c.local);
		const std::string root = makePluginTree(before, c.folder);

		UpdateResult result = checkForUpdate(true, root, alive);

		EXPECT_EQ(result.status, c.status);
		EXPECT_EQ(result.message, withPage(c.message));
		EXPECT_EQ(treeFiles(root), merged(before, c.added));
		if (c.downloads >= 0)
			EXPECT_EQ(fileRequests().size(), static_cast<size_t>(c.downloads));
	}
}

// A stop during a check is the updater test's.
TEST_F(UpdateCheckTest, AsksTheApiHostForTheRawManifest)
{
	const FileMap files = release({{kFeed, "feed 0.4.0"}});
	publish(manifestFor("0.4.0", files), "0.4.0", files);
	std::atomic<bool> alive{true};
	UpdateResult result = checkForUpdate(false, makePluginTree(kInstalled), alive);
	EXPECT_EQ(result.latest, "0.4.0");

	// The API host is asked first, for the raw manifest.
	JsonValue requests = m_fakes.command("github", "requests")["requests"];
	ASSERT_EQ(requests.size(), 1u);
	EXPECT_EQ(requests[0]["host"].str(), "github-api");
	EXPECT_EQ(requests[0]["path"].str(), "/repos/Pellorra/vanteo-releases/contents/manifest.json");
	EXPECT_EQ(headerOf(requests[0], "Accept"), "application/vnd.github.raw");
}
