#include "AppPaths.h"

#include "FileUtil.h"

std::u16string SettingsFilePath() { return GetBaseDir() + GetFileSeparator() + u"Config.ini"; }

std::u16string OutputLogDir() { return GetBaseDir() + GetFileSeparator() + u"OutputLog"; }
