// Where Config.ini and OutputLog go: beside a program in a folder it may
// write, in the XDG folders for an installed one.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "AppPaths.h"
#include "BridgeProblems.h"
#include "Convert.h"
#include "IniFile.h"

namespace fs = std::filesystem;

namespace {

// Sets (or with nullopt unsets) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class AppPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tunedesk_paths_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        fs::create_directories(root_ / "bin");
        fs::create_directories(root_ / "home");
    }
    void TearDown() override {
        chmod((root_ / "bin").c_str(), 0755);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::u16string Bin() const { return Utf8ToUtf16((root_ / "bin").string()); }
    static std::string U8(const std::u16string& s) { return Utf16ToUtf8(s); }

    fs::path root_;
};

TEST_F(AppPathsTest, WritableFolderKeepsFilesBesideTheProgramElseXdgFolders) {
    ScopedEnv home("HOME", (root_ / "home").string());
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv state("XDG_STATE_HOME", std::nullopt);

    AppFolders beside = ResolveAppFolders(Bin());
    EXPECT_TRUE(beside.besideProgram);
    EXPECT_EQ(U8(beside.settingsFile), (root_ / "bin/Config.ini").string());
    EXPECT_EQ(U8(beside.outputLogDir), (root_ / "bin/OutputLog").string());
    EXPECT_EQ(U8(beside.simImage), (root_ / "bin/SimChip.img").string());

    // Read-only program folder (the mode decides, for root as well).
    ASSERT_EQ(chmod((root_ / "bin").c_str(), 0555), 0);
    AppFolders user = ResolveAppFolders(Bin());
    EXPECT_FALSE(user.besideProgram);
    EXPECT_EQ(U8(user.settingsFile), (root_ / "home/.config/tunedesk/Config.ini").string());
    EXPECT_EQ(U8(user.outputLogDir), (root_ / "home/.local/state/tunedesk/OutputLog").string());
    EXPECT_EQ(U8(user.simImage), (root_ / "home/.local/state/tunedesk/SimChip.img").string());

    {
        ScopedEnv config2("XDG_CONFIG_HOME", (root_ / "cfg").string());
        ScopedEnv state2("XDG_STATE_HOME", "relative/state");  // not absolute: ignored
        AppFolders xdg = ResolveAppFolders(Bin());
        EXPECT_EQ(U8(xdg.settingsFile), (root_ / "cfg/tunedesk/Config.ini").string());
        EXPECT_EQ(U8(xdg.outputLogDir), (root_ / "home/.local/state/tunedesk/OutputLog").string());
    }

    // An installed layout uses the user's folders even when bin/ is writable.
    ASSERT_EQ(chmod((root_ / "bin").c_str(), 0755), 0);
    fs::create_directories(root_ / "share/tunedesk");
    EXPECT_FALSE(ResolveAppFolders(Bin()).besideProgram);
}

TEST_F(AppPathsTest, MakeAppFolderCreatesEveryMissingLevelPrivately) {
    const fs::path deep = root_ / "home/.local/state/tunedesk/OutputLog";
    ASSERT_TRUE(MakeAppFolder(Utf8ToUtf16(deep.string())));
    EXPECT_TRUE(fs::is_directory(deep));
    struct stat st;
    ASSERT_EQ(stat((root_ / "home/.local").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(MakeAppFolder(Utf8ToUtf16(deep.string()))) << "an existing folder is fine";

    fs::create_directories(root_ / "home");
    {
        std::FILE* f = std::fopen((root_ / "home/file").c_str(), "w");
        std::fclose(f);
    }
    EXPECT_FALSE(MakeAppFolder(Utf8ToUtf16((root_ / "home/file/sub").string())));
}

// The fix for a bridge without permission names the rule this program ships,
// and tells "no rule installed" from "installed, but not for this user".
TEST_F(AppPathsTest, ThePermissionProblemNamesTheRuleAndWhyItDoesNotApply) {
    const std::string name = "70-tunedesk-ch347.rules";
    const std::vector<std::string> udev = {(root_ / "etc-udev").string(), (root_ / "lib-udev").string()};
    UdevRule built = ResolveUdevRule(Bin(), udev);
    EXPECT_EQ(built.shipped, std::string(TUNEDESK_SOURCE_DIR) + "/dist/udev/" + name);
    EXPECT_TRUE(fs::is_regular_file(built.shipped));
    EXPECT_TRUE(built.installed.empty());

    fs::create_directories(root_ / "share/tunedesk");  // installed into the prefix root_
    fs::create_directories(root_ / "lib-udev");
    std::fclose(std::fopen((root_ / "lib-udev" / name).c_str(), "w"));
    const UdevRule installed = ResolveUdevRule(Bin(), udev);
    EXPECT_EQ(installed.shipped, (root_ / "lib/udev/rules.d" / name).string());
    EXPECT_EQ(installed.installed, (root_ / "lib-udev" / name).string());

    const ch347::BridgeProblem denied{ch347::BridgeProblem::Kind::NoPermission, "CH347T (1a86:55db) at bus 1 port 4",
                                      "access denied"};
    const std::string missing = BridgeProblemLine(denied, built);
    EXPECT_EQ(missing.rfind("CH347T (1a86:55db) at bus 1 port 4: no permission to open it. No udev rules", 0), 0u);
    EXPECT_NE(missing.find("copy " + built.shipped + " to /etc/udev/rules.d/"), std::string::npos) << missing;
    const std::string elsewhere = BridgeProblemLine(denied, installed);
    EXPECT_NE(elsewhere.find("(" + installed.installed + ")"), std::string::npos) << elsewhere;
    EXPECT_NE(elsewhere.find("at the seat"), std::string::npos) << elsewhere;
    EXPECT_NE(elsewhere.find("plugdev"), std::string::npos) << elsewhere;
    EXPECT_EQ(elsewhere.find(" copy "), std::string::npos) << elsewhere;
}

}  // namespace
