// Where the programs keep their files. Every part of the panel and of
// tunedesk-cli asks here; nothing else builds these paths.
#pragma once

#include <string>

// Full path of the settings file (Config.ini).
std::u16string SettingsFilePath();

// The folder for exported logs and the file log (OutputLog).
std::u16string OutputLogDir();
