#include "support/log_capture.h"
#include "update_tree.h"
#include "updater/pending_install.h"

#include <gtest/gtest.h>

using namespace vanteo;
using namespace vanteo::test;

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
		EXPECT_FALSE(logContains("stays pending"));
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
	EXPECT_TRUE(logContains("[vanteo] update: feed.html stays pending"));
	EXPECT_EQ(treeFiles(root), (FileMap{{"data/web/feed.html/locked", "x"},
					    {"data/web/feed.html.new", "feed new"},
					    {"data/web/setup.html", "setup new"}}));

	// Once the obstacle is gone the next load installs it.
	std::filesystem::remove_all(root + "/data/web/feed.html");
	clearLog();
	installPendingUpdateIn(root);
	EXPECT_FALSE(logContains("stays pending"));
	EXPECT_EQ(treeFiles(root), (FileMap{{"data/web/feed.html", "feed new"}, {"data/web/setup.html", "setup new"}}));
}
