#include "common/persisted_switch.h"
#include "module/update_menu.h"
#include "platform/restart.h"
#include "support/log_capture.h"
#include "update_tree.h"
#include "updater/pending_install.h"
#include "updater/updater.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <mutex>
#include <tuple>

using namespace vanteo;
using namespace vanteo::test;
using updater::Status;

namespace {

struct Report {
	std::string message;
	Status status;
	bool manual;
};

// What the status callback received, from the update thread.
struct Reports {
	std::mutex lock; // guards list
	std::vector<Report> list;

	Updater::StatusCallback callback()
	{
		return [this](const std::string &m, Status s, bool manual) {
			std::lock_guard<std::mutex> g(lock);
			list.push_back({m, s, manual});
		};
	}
	size_t size()
	{
		std::lock_guard<std::mutex> g(lock);
		return list.size();
	}
	Report at(size_t i)
	{
		std::lock_guard<std::mutex> g(lock);
		return list.at(i);
	}
};

const FileMap kInstalled = {{"bin/64bit/vanteo.so", "lib"}, {"data/web/feed.html", "feed"}};
const FileMap kRelease = {{"bin/64bit/vanteo.so", "lib 0.4.0"}, {"data/web/feed.html", "feed 0.4.0"}};

UpdaterTiming timing(int startupMs)
{
	return {std::chrono::milliseconds(startupMs), std::chrono::milliseconds(10)};
}

} // namespace

class UpdaterTest : public FakesTest {
protected:
	void SetUp() override
	{
		FakesTest::SetUp();
		publish(manifestFor("0.4.0", kRelease), "0.4.0", kRelease);
		m_root = makePluginTree(kInstalled);
	}
	void TearDown() override { autoUpdateSwitch().set(true); }

	std::function<std::string()> folder()
	{
		return [root = m_root] {
			return root;
		};
	}

	TestHost m_host;
	std::string m_root;
};

TEST_F(UpdaterTest, SwitchOffReportsThenRequestedCheckInstalls)
{
	autoUpdateSwitch().set(false);
	EXPECT_EQ(m_host.readConfigFile("update.txt"), "0");
	Reports reports;
	Updater updater(folder(), timing(0));
	updater.start(reports.callback());
	ASSERT_TRUE(waitUntil([&] { return reports.size() == 1; }));
	EXPECT_EQ(reports.at(0).status, Status::Available);
	EXPECT_EQ(reports.at(0).message, "Vanteo 0.4.0 is available (you have 0.3.11).");
	EXPECT_FALSE(reports.at(0).manual);
	ASSERT_TRUE(waitUntil([&] { return !updater.checking(); }));

	updater.requestCheck();
	ASSERT_TRUE(waitUntil([&] { return reports.size() == 2; }));
	EXPECT_EQ(reports.at(1).status, Status::Ready);
	EXPECT_TRUE(reports.at(1).manual);
	updater.stop();
	// What the check writes is UpdateCheckTest's; here what the updater keeps.
	UpdateSnapshot snap = updater.snapshot();
	EXPECT_EQ(snap.status, Status::Ready);
	EXPECT_EQ(snap.notes.size(), 1u);
	EXPECT_EQ(logCount("[vanteo] update: Vanteo 0.4.0 is ready (2 files updated). Restart OBS to use it."), 1u);
}

TEST_F(UpdaterTest, StartupWaitEndsAtStopOrARequest)
{
	autoUpdateSwitch().set(false);
	Reports reports;
	Updater stopped(folder(), timing(10 * 60 * 1000));
	stopped.start(reports.callback());
	stopped.stop(); // returns within one tick
	EXPECT_EQ(m_fakes.command("github", "requests")["requests"].size(), 0u);

	Updater updater(folder(), timing(10 * 60 * 1000));
	updater.start(reports.callback());
	updater.requestCheck();
	ASSERT_TRUE(waitUntil([&] { return reports.size() == 1; }));
	EXPECT_EQ(reports.at(0).status, Status::Ready);
	EXPECT_TRUE(reports.at(0).manual);
}

TEST_F(UpdaterTest, StopDuringACheckReportsNothingAndWritesNothing)
{
	m_fakes.command("github", "configure", R"({"delayMs":{"0.4.0/bin/64bit/vanteo.so":300}})");
	Reports reports;
	Updater updater(folder(), timing(0));
	updater.start(reports.callback());
	ASSERT_TRUE(waitUntil([] { return fileRequests().size() == 1; }));
	updater.stop();
	EXPECT_EQ(reports.size(), 0u);
	EXPECT_EQ(fileRequests().size(), 1u); // the second file was never fetched
	EXPECT_EQ(treeFiles(m_root), kInstalled);
	EXPECT_EQ(updater.snapshot().status, Status::Unknown);

	// A stopped updater starts no new check (its thread would outlive it).
	m_fakes.command("github", "requests", R"({"clear":true})");
	updater.requestCheck();
	updater.stop();
	EXPECT_EQ(m_fakes.command("github", "requests")["requests"].size(), 0u);
}

TEST(UpdateMenu, BadgeKeepsLastKnownStatusAndNotesAreOfferedOnce)
{
	TestHost host;
	onUpdateStatus(Status::Latest, false);
	onUpdateStatus(Status::Unknown, false);
	EXPECT_EQ(badgeStatus(), Status::Latest);
	EXPECT_EQ(badgeText(), "Latest");

	// An existing user after the update: shown once. Which installations
	// are offered the notes is the rules' table (UpdaterRules.Reactions).
	const std::vector<ReleaseNote> notes = {{"0.3.11", "What changed"}};
	host.writeConfigFile("config.json", "{}");
	NewsOffer first = offerReleaseNotes(notes);
	EXPECT_TRUE(first.show);
	EXPECT_EQ(first.mode, "news&since=");
	EXPECT_FALSE(offerReleaseNotes(notes).show);
}

TEST(Restart, HelperWaitsForTheOldProcessThenStartsTheProgramWithItsArguments)
{
	const std::string dir = makeTempDir();
	QProcess old;
	old.start("sleep", {"60"});
	ASSERT_TRUE(old.waitForStarted());

	const std::string script = "pwd > out.tmp; printf '%s\\n' \"$@\" >> out.tmp; mv out.tmp out.txt";
	ASSERT_TRUE(platform::startRestartHelper(old.processId(), "/bin/sh", dir,
						 {"-c", script, "sh", "a b", "it's", "$(touch pwned)", "--x=\"y\""}));
	// The new program must not start while the old process lives; the
	// helper polls it, so ending it now lets the start go ahead.
	EXPECT_FALSE(std::filesystem::exists(dir + "/out.txt"));
	old.kill();
	old.waitForFinished();
	ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(dir + "/out.txt"); }));
	EXPECT_EQ(readFile(dir + "/out.txt"), dir + "\na b\nit's\n$(touch pwned)\n--x=\"y\"\n");
	EXPECT_FALSE(std::filesystem::exists(dir + "/pwned"));
}

TEST(PendingInstall, Folders)
{
	struct Case {
		const char *name;
		const char *folder;
		FileMap before;
		FileMap after;
	} cases[] = {
	    {"staged files installed, leftovers removed",
	     "vanteo",
	     {{"bin/64bit/vanteo.so", "lib new"},
	      {"bin/64bit/vanteo.so.old", "lib old"},
	      {"data/web/feed.html", "feed old"},
	      {"data/web/feed.html.new", "feed new"},
	      {"data/web/setup.html", "setup"},
	      {"data/locale/en-US.ini.new", "locale"}},
	     {{"bin/64bit/vanteo.so", "lib new"},
	      {"data/web/feed.html", "feed new"},
	      {"data/web/setup.html", "setup"},
	      {"data/locale/en-US.ini", "locale"}}},
	    {"stray library .new discarded",
	     "vanteo",
	     {{"bin/64bit/vanteo.so", "running"}, {"bin/64bit/vanteo.so.new", "stray"}},
	     {{"bin/64bit/vanteo.so", "running"}}},
	    {"other case and other names untouched",
	     "vanteo",
	     {{"readme.NEW", "a"}, {"notes.old.txt", "b"}, {".new", "c"}, {"data/x.Old", "d"}},
	     {{"readme.NEW", "a"}, {"notes.old.txt", "b"}, {".new", "c"}, {"data/x.Old", "d"}}},
	    {"other folder name",
	     "obs-plugins",
	     {{"data/web/feed.html.new", "new"}, {"bin/64bit/vanteo.so.old", "old"}},
	     {{"data/web/feed.html.new", "new"}, {"bin/64bit/vanteo.so.old", "old"}}},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		const std::string root = makePluginTree(c.before, c.folder);
		clearLog();
		installPendingUpdateIn(root);
		EXPECT_EQ(treeFiles(root), c.after);
		// A second run finds nothing to do and says nothing.
		installPendingUpdateIn(root);
		EXPECT_EQ(treeFiles(root), c.after);
		EXPECT_EQ(logCount("stays pending"), 0u);
	}
}

TEST(PendingInstall, DestinationThatCannotBeReplacedStaysPending)
{
	// A non-empty folder where the file belongs cannot be replaced by a
	// move, whoever runs the test.
	const std::string root = makePluginTree({{"data/web/feed.html/locked", "x"},
						 {"data/web/feed.html.new", "feed new"},
						 {"data/web/setup.html.new", "setup new"}});
	clearLog();
	installPendingUpdateIn(root);
	EXPECT_EQ(logCount("[vanteo] update: feed.html stays pending"), 1u);
	EXPECT_EQ(treeFiles(root), (FileMap{{"data/web/feed.html/locked", "x"},
					    {"data/web/feed.html.new", "feed new"},
					    {"data/web/setup.html", "setup new"}}));

	// Once the obstacle is gone the next load installs it.
	std::filesystem::remove_all(root + "/data/web/feed.html");
	clearLog();
	installPendingUpdateIn(root);
	EXPECT_EQ(logCount("stays pending"), 0u);
	EXPECT_EQ(treeFiles(root), (FileMap{{"data/web/feed.html", "feed new"}, {"data/web/setup.html", "setup new"}}));
}
