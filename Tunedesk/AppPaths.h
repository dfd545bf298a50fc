// Where the programs keep their files. Every part of the panel and of
// tunedesk-cli asks here; nothing else builds these paths.
//
// A program whose folder it may write (the build folder, a portable copy)
// keeps Config.ini and OutputLog beside itself. An installed program -- its
// folder not writable, or an installed layout with share/tunedesk next to
// bin/ -- keeps them in the user's folders:
//   $XDG_CONFIG_HOME/tunedesk/Config.ini   (default ~/.config/tunedesk/)
//   $XDG_STATE_HOME/tunedesk/OutputLog     (default ~/.local/state/tunedesk/)
//   $XDG_STATE_HOME/tunedesk/SimChip.img   the simulated chip, one per user
// Nothing is created until something is written.
#pragma once

#include <string>
#include <vector>

// Full path of the settings file (Config.ini).
std::u16string SettingsFilePath();

// The folder for exported logs and the file log (OutputLog).
std::u16string OutputLogDir();

// The simulated chip's image that the panel and tunedesk-cli share when no
// other is asked for.
std::u16string SimImagePath();

// The folders a translation (tunedesk_<lang>.qm) is looked for in, in this
// order: beside the program (a build folder), then share/tunedesk/translations
// beside bin/ (installed).
std::vector<std::u16string> TranslationDirs();

// The decision itself, for a program living in `programDir`; the two
// functions above pass GetBaseDir(). Reads the environment on every call.
struct AppFolders {
    bool besideProgram = true;
    std::u16string settingsFile;  // .../Config.ini
    std::u16string outputLogDir;  // .../OutputLog
    std::u16string simImage;      // .../SimChip.img, beside the state (OutputLog)
};
AppFolders ResolveAppFolders(const std::u16string& programDir);

// Creates `folder` and any missing folder above it (new ones private to the
// user, as the XDG folders want). True when it exists as a folder afterwards.
bool MakeAppFolder(const std::u16string& folder);

// The udev rule that lets a user open real bridges (70-tunedesk-ch347.rules).
struct UdevRule {
    // This program's copy: PREFIX/lib/udev/rules.d/ when installed (udev reads
    // it there for the prefix /usr only), the repository's dist/udev/ when run
    // from a build folder.
    std::string shipped;
    // The copy udev reads (the first of `udevFolders` that holds one); empty
    // when the rule is not installed.
    std::string installed;
};
UdevRule ResolveUdevRule(const std::u16string& programDir, const std::vector<std::string>& udevFolders);
// The same for this program and the folders udev reads rules from.
UdevRule FindUdevRule();
