// A settings file in a fresh temporary folder that the panel reads instead of
// its own for the object's lifetime; the folder is removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "IniFile.h"
#include "SpiSettingFile.h"
#include "Convert.h"

class ScratchSettings {
public:
    // `contents` (when not empty) becomes the settings file.
    explicit ScratchSettings(const std::string& contents = "") {
        char tmpl[] = "/tmp/tunedesk_bench_XXXXXX";
        if (!mkdtemp(tmpl)) std::abort();
        dir_ = tmpl;
        if (!contents.empty()) std::ofstream(Path()) << contents;
        SetIniFilePathForTest(Utf8ToUtf16(Path().string()));
    }
    ~ScratchSettings() {
        SetIniFilePathForTest(u"");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    ScratchSettings(const ScratchSettings&) = delete;
    ScratchSettings& operator=(const ScratchSettings&) = delete;

    std::filesystem::path Path() const { return dir_ / "Config.ini"; }

private:
    std::filesystem::path dir_;
};
