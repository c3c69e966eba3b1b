#include "platform/restart_command.h"
#include "platform/sha256.h"
#include "support/json_value.h"
#include "updater/manifest.h"
#include "updater/update_check.h"
#include "updater/update_reactions.h"
#include "updater/updater.h"
#include "updater/version.h"

#include <gtest/gtest.h>

using namespace vanteo;
using namespace vanteo::test;
using updater::Status;

TEST(UpdaterRules, VersionComparison)
{
	struct Case {
		const char *latest;
		bool upToDate;
	} cases[] = {
	    {"0.3.11", true},   {"0.3.10", true},
	    {"0.3.11.9", true}, {"0.4", false},
	    {"x.9", false},     {" 0.3.12", false},
	    {"", true},         {"0.3.11beta", true},
	    {"-1.9.9", true},   {"0.99999999999999999999", false},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isUpToDate("0.3.11", c.latest), c.upToDate) << c.latest;
	EXPECT_EQ(versionTriple("1.2.3.4"), (std::array<long long, 3>{1, 2, 3}));
	EXPECT_EQ(versionTriple("0.4"), (std::array<long long, 3>{0, 4, 0}));
}

TEST(UpdaterRules, ManifestPaths)
{
	struct Case {
		const char *path;
		bool safe;
	} cases[] = {
	    {"bin/64bit/vanteo_x-1.so", true},
	    {"", false},
	    {"/etc/passwd", false},
	    {"data/../../x", false}, // any ".."
	    {"data/my file", false}, // any character outside the set
	    {"C:/x", false},
	};
	for (const Case &c : cases)
		EXPECT_EQ(isSafeManifestPath(c.path), c.safe) << c.path;
	// The version goes into download paths too: digits and dots only.
	for (const char *version : {"0.4.0", "10", "1..2"})
		EXPECT_TRUE(isPlainVersion(version)) << version;
	for (const char *version : {"", "0.4.0/../..", "v0.4", "0.4 ", "0.4?a=1"})
		EXPECT_FALSE(isPlainVersion(version)) << version;
}

TEST(UpdaterRules, ManifestReading)
{
	// Well-formed manifests are UpdateCheckTest's; here missing parts.
	Manifest m = readManifest(R"({"files":[{"path":"c"}],"notes":[{"text":"x"}]})");
	ASSERT_EQ(m.files.size() + m.notes.size(), 2u);
	EXPECT_EQ(m.files[0].sha256, "");
	EXPECT_EQ(m.notes[0].version, "");

	for (const char *text : {"", "not json", "[1,2]", R"({"version":5,"files":"x"})"}) {
		Manifest bad = readManifest(text);
		EXPECT_EQ(bad.version, "") << text;
		EXPECT_TRUE(bad.files.empty()) << text;
	}
}

TEST(UpdaterRules, PluginFolderAndDigest)
{
	EXPECT_EQ(pluginFolderOf("/home/u/.config/obs-studio/plugins/vanteo/bin/64bit/vanteo.so"),
		  "/home/u/.config/obs-studio/plugins/vanteo");
	EXPECT_EQ(pluginFolderOf("C:\\ProgramData\\obs-studio\\plugins\\vanteo\\bin\\64bit\\vanteo.dll"),
		  "C:\\ProgramData\\obs-studio\\plugins\\vanteo");
	EXPECT_EQ(pluginFolderOf("64bit/vanteo.so"), "");
	EXPECT_FALSE(isVanteoFolder("/x/plugins/Vanteo")); // other folders: the update check's table

	EXPECT_EQ(platform::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(UpdaterRules, StatusJson)
{
	UpdateSnapshot snap;
	snap.status = Status::Ready;
	snap.message = "Vanteo 0.4.0 is \"ready\".";
	snap.latest = "0.4.0";
	snap.notes = {{"0.4.0", "Line one\nline two"}, {"0.3.11", "Older"}};
	const std::string text = updateStatusJsonFor(snap, false);
	EXPECT_EQ(text.find("{\"status\":\"ready\",\"message\":"), 0u) << text;
	JsonValue v = JsonValue::parse(text);
	EXPECT_EQ(v["message"].str(), snap.message);
	EXPECT_EQ(v["current"].str(), "0.3.11");
	EXPECT_FALSE(v["canRestart"].boolean());
	ASSERT_EQ(v["notes"].size(), 2u);
	EXPECT_EQ(v["notes"][0]["text"].str(), "Line one\nline two");
	EXPECT_EQ(v["notes"][1]["version"].str(), "0.3.11");

	JsonValue empty = JsonValue::parse(updateStatusJsonFor(UpdateSnapshot{}, true));
	EXPECT_EQ(empty["status"].str(), "unknown");
	EXPECT_TRUE(empty["canRestart"].boolean());
	EXPECT_EQ(empty["notes"].size(), 0u);
}

TEST(UpdaterRules, Reactions)
{
	using R = UpdateReaction;
	struct Case {
		Status status;
		bool manual, hub, busy;
		R reaction;
	} cases[] = {
	    {Status::Latest, true, true, true, R::ShowUpdate}, // a manual check always answers
	    {Status::Unknown, true, true, false, R::ShowUpdate}, {Status::Ready, false, true, false, R::ShowUpdate},
	    {Status::Ready, false, true, true, R::None}, // streaming: badge only
	    {Status::Setup, false, true, false, R::ShowUpdate},  {Status::Unknown, false, true, false, R::None},
	    {Status::Latest, false, true, false, R::OfferNotes}, {Status::Latest, false, true, true, R::None},
	    {Status::Ready, true, false, false, R::None}, // no hub, no dialog
	};
	for (const Case &c : cases)
		EXPECT_EQ(updateReaction(c.status, c.manual, c.hub, c.busy), c.reaction)
		    << static_cast<int>(c.status) << c.manual << c.hub << c.busy;

	const std::vector<ReleaseNote> notes = {{"0.3.11", "New"}};
	struct News {
		const char *seen;
		bool config;
		std::vector<ReleaseNote> notes;
		bool write, show;
		const char *mode;
	} news[] = {
	    {"", true, notes, true, true, "news&since="}, // first run after an update
	    {"0.3.10", false, notes, true, true, "news&since=0.3.10"},
	    {"0.3.11", true, notes, false, false, ""},              // offered already
	    {"", false, notes, true, false, ""},                    // fresh installation
	    {"0.3.10", true, {{"0.3.10", "Old"}}, true, false, ""}, // no note for this version
	    {"0.3&x=<b>", true, notes, true, true, "news&since=0.3xb"},
	};
	for (const News &n : news) {
		NewsOffer offer = newsOffer(n.seen, n.config, n.notes, "0.3.11");
		EXPECT_EQ(offer.writeSeen, n.write) << n.seen;
		EXPECT_EQ(offer.show, n.show) << n.seen;
		EXPECT_EQ(offer.mode, n.mode) << n.seen;
	}
}

TEST(UpdaterRules, RestartCommands)
{
	using platform::DetachedCommand;
	EXPECT_EQ(platform::powerShellQuote("it's"), "'it''s'");
	// PowerShell also ends a quoted string at U+2018 to U+201B.
	EXPECT_EQ(platform::powerShellQuote("a\u2018b\u2019c\u201ad\u201be\u201cf"),
		  "'a\u2018\u2018b\u2019\u2019c\u201a\u201ad\u201b\u201be\u201cf'");
	const std::string head = "$p = Get-Process -Id 4242 -ErrorAction SilentlyContinue; if ($p -and -not "
				 "$p.WaitForExit(120000)) { exit }; Start-Process -FilePath 'C:\\Program "
				 "Files\\obs.exe' "
				 "-WorkingDirectory 'C:\\Program Files'";
	EXPECT_EQ(platform::powerShellRestartScript(4242, "C:\\Program Files\\obs.exe", "C:\\Program Files", {}), head);
	EXPECT_EQ(platform::powerShellRestartScript(4242, "C:\\Program Files\\obs.exe", "C:\\Program Files",
						    {"--profile", "My Stream", "it's"}),
		  head + " -ArgumentList '--profile','\"My Stream\"','it''s'");
	DetachedCommand ps = platform::powerShellRestart(1, "a", "b", {});
	EXPECT_EQ(ps.program, "powershell.exe");
	ASSERT_EQ(ps.arguments.size(), 6u);
	EXPECT_EQ(ps.arguments[4], "-Command");
	// The POSIX helper's arguments are the Restart test's; its script gives
	// up on the old process after two minutes.
	EXPECT_NE(platform::shellRestart(77, "/usr/bin/obs", "/usr/bin", {}).arguments[1].find("-gt 1200 "),
		  std::string::npos);
}
