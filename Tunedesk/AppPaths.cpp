#include "AppPaths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Convert.h"
#include "FileUtil.h"

namespace {

// The program's data folder in an installed tree, beside bin/.
constexpr const char* kShareFolder = "/share/tunedesk";

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// access() lets root write anywhere, so for root the folder's mode decides:
// an administrator who takes the write bits away means "do not write here",
// and root running an installed program must not litter its folder either.
bool MayWriteFolder(const std::string& folder) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (geteuid() == 0) return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    return access(folder.c_str(), W_OK) == 0;
}

// cmake --install and the package put the translations in share/tunedesk
// beside bin/; /usr/bin, ~/.local/bin and the like are no place for a
// program's settings even when the user may write them.
bool IsInstalledLayout(const std::string& programDir) {
    const size_t cut = programDir.find_last_of('/');
    if (cut == std::string::npos) return false;
    return IsFolder(programDir.substr(0, cut) + kShareFolder);
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
    return {};
}

// An XDG variable counts only when it holds an absolute path; otherwise the
// user's home + `fallback`.
std::string XdgFolder(const char* variable, const char* fallback) {
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') return value;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + fallback;
}

}  // namespace

AppFolders ResolveAppFolders(const std::u16string& programDir) {
    AppFolders folders;
    const std::u16string beside = programDir + GetFileSeparator();
    folders.settingsFile = beside + u"Config.ini";
    folders.outputLogDir = beside + u"OutputLog";
    folders.simImage = beside + u"SimChip.img";

    std::string native;
    if (CString2Ansi(programDir, native) == 0 || native.empty()) return folders;
    if (MayWriteFolder(native) && !IsInstalledLayout(native)) return folders;

    const std::string config = XdgFolder("XDG_CONFIG_HOME", "/.config");
    const std::string state = XdgFolder("XDG_STATE_HOME", "/.local/state");
    // Without any home folder there is nowhere else to go.
    if (config.empty() || state.empty()) return folders;
    folders.besideProgram = false;
    folders.settingsFile = Ansi2CString(config + "/tunedesk/Config.ini");
    folders.outputLogDir = Ansi2CString(state + "/tunedesk/OutputLog");
    folders.simImage = Ansi2CString(state + "/tunedesk/SimChip.img");
    return folders;
}

std::vector<std::u16string> TranslationDirs() {
    const std::u16string programDir = GetBaseDir();
    std::vector<std::u16string> dirs{programDir};
    const size_t cut = programDir.find_last_of(u'/');
    if (cut != std::u16string::npos)
        dirs.push_back(programDir.substr(0, cut) + Ansi2CString(kShareFolder) + u"/translations");
    return dirs;
}

std::u16string SettingsFilePath() { return ResolveAppFolders(GetBaseDir()).settingsFile; }

std::u16string OutputLogDir() { return ResolveAppFolders(GetBaseDir()).outputLogDir; }

std::u16string SimImagePath() { return ResolveAppFolders(GetBaseDir()).simImage; }

bool MakeAppFolder(const std::u16string& folder) {
    std::string native;
    if (CString2Ansi(folder, native) == 0 || native.empty()) return false;
    for (size_t at = native.find('/', 1);; at = native.find('/', at + 1)) {
        const std::string level = native.substr(0, at);
        if (!IsFolder(level) && mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (at == std::string::npos) break;
    }
    return IsFolder(native);
}

namespace {

constexpr const char* kUdevRuleName = "70-tunedesk-ch347.rules";

bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

UdevRule ResolveUdevRule(const std::u16string& programDir, const std::vector<std::string>& udevFolders) {
    UdevRule rule;
    std::string native;
    CString2Ansi(programDir, native);
    const size_t cut = native.find_last_of('/');
    if (!native.empty() && IsInstalledLayout(native) && cut != std::string::npos)
        rule.shipped = native.substr(0, cut) + "/lib/udev/rules.d/" + kUdevRuleName;
    else
        rule.shipped = std::string(TUNEDESK_SOURCE_DIR) + "/dist/udev/" + kUdevRuleName;
    for (const std::string& folder : udevFolders) {
        if (IsFile(folder + "/" + kUdevRuleName)) {
            rule.installed = folder + "/" + kUdevRuleName;
            break;
        }
    }
    return rule;
}

UdevRule FindUdevRule() {
    // Where systemd's udev reads rules; /usr/local/lib/udev/rules.d is not among them.
    static const std::vector<std::string> kUdevFolders = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                                          "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
    return ResolveUdevRule(GetBaseDir(), kUdevFolders);
}
