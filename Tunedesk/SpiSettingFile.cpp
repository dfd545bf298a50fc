#include "SpiSettingFile.h"

#include <mutex>

#include "AppPaths.h"
#include "IniFile.h"
#include "StrFormat.h"

namespace {

constexpr char16_t kSection[] = u"SpiSetting";

std::mutex g_overrideLock;
std::u16string g_overridePath;

int LoadInt(const char16_t* key, int defaultValue) {
    return ini::ReadInt(GetIniFilePath(), kSection, key, defaultValue);
}

bool SaveText(const char16_t* key, const std::u16string& text) {
    const std::u16string path = GetIniFilePath();
    // The user's settings folder appears with the first save, not before.
    const size_t cut = path.find_last_of(u'/');
    if (cut != std::u16string::npos && cut > 0 && path == SettingsFilePath()) MakeAppFolder(path.substr(0, cut));
    return ini::WriteString(path, kSection, key, text);
}

bool SaveInt(const char16_t* key, int value) { return SaveText(key, StrFormat(u"%d", value)); }

}  // namespace

std::u16string GetIniFilePath() {
    {
        std::lock_guard<std::mutex> lock(g_overrideLock);
        if (!g_overridePath.empty()) return g_overridePath;
    }
    return SettingsFilePath();
}

void SetIniFilePathForTest(const std::u16string& path) {
    std::lock_guard<std::mutex> lock(g_overrideLock);
    g_overridePath = path;
}

int LoadSpiMode() { return LoadInt(u"SpiMode", kDefaultSpiMode); }
int LoadSpiClock() { return LoadInt(u"SpiClock", kDefaultSpiClock); }
int LoadByteOrder() { return LoadInt(u"ByteOrder", kDefaultByteOrder); }
int LoadCS1Polarity() { return LoadInt(u"CS1Polarity", 0); }
int LoadCS2Polarity() { return LoadInt(u"CS2Polarity", 0); }
int LoadInOutInterval() { return LoadInt(u"InOutInterval", 0); }
int LoadFreqEnable() { return LoadInt(u"FreqEnable", 0); }
int LoadFreqUnit() { return LoadInt(u"FreqUnit", 0); }
int LoadDataBits() { return LoadInt(u"DataBits", 0); }
int LoadCSEnable() { return LoadInt(u"CSEnable", kDefaultCSEnable); }
int LoadCSChipIndex() { return LoadInt(u"CSChipIndex", 0); }
int LoadCSActive() { return LoadInt(u"CSActive", 0); }
int LoadActiveRwDelay() { return LoadInt(u"ActiveRwDelay", 0); }
int LoadDeactiveRwDelay() { return LoadInt(u"DeactiveRwDelay", 0); }
int LoadSPIRWDelay() { return LoadInt(u"SPIRWDelay", kDefaultSPIRWDelay); }

std::u16string LoadFrequency() {
    std::u16string text = ini::ReadString(GetIniFilePath(), kSection, u"Frequency", u"");
    if (text.size() > kMaxFrequencyChars) text.resize(kMaxFrequencyChars);
    return text;
}

bool SaveSpiMode(int value) { return SaveInt(u"SpiMode", value); }
bool SaveSpiClock(int value) { return SaveInt(u"SpiClock", value); }
bool SaveByteOrder(int value) { return SaveInt(u"ByteOrder", value); }
bool SaveCS1Polarity(int value) { return SaveInt(u"CS1Polarity", value); }
bool SaveCS2Polarity(int value) { return SaveInt(u"CS2Polarity", value); }
bool SaveInOutInterval(int value) { return SaveInt(u"InOutInterval", value); }
bool SaveFreqEnable(int value) { return SaveInt(u"FreqEnable", value); }
bool SaveFreqUnit(int value) { return SaveInt(u"FreqUnit", value); }
bool SaveDataBits(int value) { return SaveInt(u"DataBits", value); }
bool SaveCSEnable(int value) { return SaveInt(u"CSEnable", value); }
bool SaveCSChipIndex(int value) { return SaveInt(u"CSChipIndex", value); }
bool SaveCSActive(int value) { return SaveInt(u"CSActive", value); }
bool SaveActiveRwDelay(int value) { return SaveInt(u"ActiveRwDelay", value); }
bool SaveDeactiveRwDelay(int value) { return SaveInt(u"DeactiveRwDelay", value); }
bool SaveSPIRWDelay(int value) { return SaveInt(u"SPIRWDelay", value); }

bool SaveFrequency(const std::u16string& text) { return SaveText(u"Frequency", text); }

void LoadSpiConfig(_UI_SPI_CONFIG& config) {
    config.SpiMode = LoadSpiMode();
    config.SpiClock = LoadSpiClock();
    config.ByteOrder = LoadByteOrder();
    config.CS1Polarity = LoadCS1Polarity();
    config.CS2Polarity = LoadCS2Polarity();
    config.InOutInterval = LoadInOutInterval();
    config.CSEnable = LoadCSEnable();
    config.CSChipIndex = LoadCSChipIndex();
    config.ActiveRwDelay = LoadActiveRwDelay();
    config.DeactiveRwDelay = LoadDeactiveRwDelay();
    config.CSActive = LoadCSActive();
    config.FreqEnable = LoadFreqEnable();
    config.Frequency = LoadFrequency();
    config.FreqUnit = LoadFreqUnit();
    config.DataBits = LoadDataBits();
}
