// rvex-tool --workdir DIR: the folder is created and filled with the example site
// files when it holds no Config1.c, a file that is there is never overwritten, and the
// tool then works in it. The binary runs from the build tree, whose share/rvex-tool/site
// leads to the source's site/.
#include "ToolProcess.h"
#include "app/WorkingFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace apptest;
namespace fs = std::filesystem;

namespace {

std::set<std::string> FileNames(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

std::set<std::string> SiteFileNames() {
    return FileNames(RVEX_SITE_DIR);
}

// A Config1.c that tells itself apart from the site's by its Var1.
const char* ownConfig = "Var1:MINE\nIP_TEST:127.0.0.9\n";

class WorkdirTest : public ::testing::Test {
  protected:
    // Runs the headless tool with --workdir `folder` (passed as written), dumping the
    // edit that shows Var1 of the Config1.c it read at start. The script is named
    // relative to the folder the command starts in, not to the working folder.
    ProcessResult RunIn(const std::string& folder, const std::string& environment = "") {
        fakes::WriteFile("script.txt", "dump Edit35\nquit\n");
        return RunCommand(environment + " " + RVEX_TOOL_BINARY + " --workdir " + Quoted(folder) +
                          " --headless --script script.txt");
    }
    static std::string Var1Shown(const ProcessResult& r) {
        const std::string key = "\"name\":\"Edit35\",\"kind\":\"edit\",\"text\":\"";
        size_t at = r.out.find(key);
        if (at == std::string::npos) return "(no dump of Edit35 in: " + r.out + ")";
        at += key.size();
        return r.out.substr(at, r.out.find('"', at) - at);
    }
    void ExpectTheSiteFilesIn(const fs::path& folder) {
        for (const std::string& name : SiteFileNames())
            EXPECT_EQ(fakes::ReadFile((folder / name).string()),
                      fakes::ReadFile((fs::path(RVEX_SITE_DIR) / name).string()))
                << name;
    }

    fakes::ScratchDirectory scratch;
    fakes::ComLinkFolder noSerialPorts;
};

TEST_F(WorkdirTest, AMissingFolderIsCreatedWithItsParentsAndFilledWithTheSiteFiles) {
    const fs::path folder = fs::path(scratch.Path()) / "a" / "b" / "R-VEX";
    ProcessResult r = RunIn(folder.string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FileNames(folder), SiteFileNames());
    ExpectTheSiteFilesIn(folder);
    EXPECT_EQ(Var1Shown(r), "SIM1");
}

TEST_F(WorkdirTest, AnEmptyFolderIsFilledWithTheSiteFiles) {
    const fs::path folder = fs::path(scratch.Path()) / "empty";
    fs::create_directory(folder);
    ProcessResult r = RunIn(folder.string());
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectTheSiteFilesIn(folder);
    EXPECT_EQ(Var1Shown(r), "SIM1");
}

TEST_F(WorkdirTest, AFolderWithAConfig1IsLeftAsItIsAndUsed) {
    const fs::path folder = fs::path(scratch.Path()) / "filled";
    fs::create_directory(folder);
    fakes::WriteFile((folder / "Config1.c").string(), ownConfig);
    fakes::WriteFile((folder / "Table1.c").string(), "my own table\n");
    ProcessResult r = RunIn(folder.string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fakes::ReadFile((folder / "Config1.c").string()), ownConfig);
    EXPECT_EQ(fakes::ReadFile((folder / "Table1.c").string()), "my own table\n");
    EXPECT_FALSE(fs::exists(folder / "Table2.c")) << "a folder with a Config1.c gets nothing";
    EXPECT_EQ(Var1Shown(r), "MINE");
}

TEST_F(WorkdirTest, AFolderWithoutConfig1KeepsItsOwnFilesAndGetsTheOthers) {
    const fs::path folder = fs::path(scratch.Path()) / "partial";
    fs::create_directory(folder);
    fakes::WriteFile((folder / "Table1.c").string(), "my own table\n");
    fs::create_directory(folder / "reboot.txt"); // a name taken by something else
    ProcessResult r = RunIn(folder.string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fakes::ReadFile((folder / "Table1.c").string()), "my own table\n");
    EXPECT_TRUE(fs::is_directory(folder / "reboot.txt"));
    EXPECT_EQ(fakes::ReadFile((folder / "Config1.c").string()),
              fakes::ReadFile((fs::path(RVEX_SITE_DIR) / "Config1.c").string()));
    EXPECT_TRUE(fs::exists(folder / "Table2.c"));
}

TEST_F(WorkdirTest, ALeadingTildeIsTheHomeFolderAsTheMenuEntryWritesIt) {
    const fs::path home = fs::path(scratch.Path()) / "home";
    fs::create_directory(home);
    ProcessResult r = RunIn("~/R-VEX", "HOME=" + Quoted(home.string()));
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectTheSiteFilesIn(home / "R-VEX");
    EXPECT_FALSE(fs::exists(fs::path(scratch.Path()) / "~"));
}

TEST_F(WorkdirTest, AFolderThatCannotBeMadeStopsTheToolWithTheReason) {
    fakes::WriteFile("taken", "a file, not a folder\n");
    ProcessResult r = RunIn((fs::path(scratch.Path()) / "taken").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("taken"), std::string::npos) << r.err;
    EXPECT_EQ(fakes::ReadFile("taken"), "a file, not a folder\n");
}

// The pieces the process tests above cannot reach.
TEST(WorkingFolder, ExpandsOnlyALeadingTilde) {
    struct Row {
        const char* given;
        const char* expanded;
    } rows[] = {{"~", "/home/t"},         {"~/R-VEX", "/home/t/R-VEX"}, {"~other/x", "~other/x"},
                {"/srv/~/x", "/srv/~/x"}, {"rel/dir", "rel/dir"},       {"~/", "/home/t/"}};
    for (const Row& row : rows)
        EXPECT_EQ(app::ExpandHome(row.given, "/home/t"), fs::path(row.expanded)) << row.given;
    EXPECT_EQ(app::ExpandHome("~/R-VEX", ""), fs::path()) << "no home: no folder, never ./R-VEX";
    EXPECT_NE(app::PrepareWorkingFolder(fs::path(), RVEX_SITE_DIR).error, "");
}

TEST(WorkingFolder, ExampleFilesAreBesideTheProgramsPrefix) {
    EXPECT_EQ(app::ExampleSiteFolder("/usr/bin/rvex-tool"), fs::path("/usr/share/rvex-tool/site"));
    EXPECT_EQ(app::ExampleSiteFolder("/opt/x/bin/rvex-tool"),
              fs::path("/opt/x/share/rvex-tool/site"));
}

TEST(WorkingFolder, WithoutExamplesTheFolderIsMadeAndAWarningSaysWhy) {
    fakes::ScratchDirectory scratch;
    app::PreparedFolder prepared = app::PrepareWorkingFolder("work", "no-such-site");
    EXPECT_EQ(prepared.error, "");
    EXPECT_NE(prepared.warning.find("no-such-site"), std::string::npos) << prepared.warning;
    EXPECT_TRUE(fs::is_directory("work"));
}

TEST(WorkingFolder, ReadOnlyExamplesGiveCopiesTheToolCanWrite) {
    fakes::ScratchDirectory scratch;
    fs::create_directory("site");
    fakes::WriteFile("site/Config1.c", "Var1:X\n");
    fs::permissions("site/Config1.c",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    app::PreparedFolder prepared = app::PrepareWorkingFolder("work", "site");
    EXPECT_EQ(prepared.error, "");
    EXPECT_EQ(prepared.copied, std::vector<std::string>{"Config1.c"});
    EXPECT_NE(fs::status("work/Config1.c").permissions() & fs::perms::owner_write, fs::perms::none);
}

} // namespace
