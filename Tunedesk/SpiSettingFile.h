// The SPI link settings: section "SpiSetting" of "Config.ini", where AppPaths
// puts it (beside the program, or the user's configuration folder for an
// installed program). Nothing is cached: every load reads the file and every save writes
// it, so a value saved by the settings dialog is seen by the very next load,
// on any thread.
//
// Loads give the key's default when the file, the section or the key is
// missing or the file cannot be read; a value that does not begin with a number
// loads as 0. No range is checked here. Each save returns true once the value
// is in the file; callers may ignore it.
#pragma once

#include <string>

#include "spilink.h"

// Full path of the settings file, built on every call.
std::u16string GetIniFilePath();

// Test hook: a non-empty path replaces the settings file's location for the
// whole process; an empty one restores the file beside the program.
void SetIniFilePathForTest(const std::u16string& path);

// Defaults of the keys (what a fresh installation runs with).
inline constexpr int kDefaultSpiMode = 1;
inline constexpr int kDefaultSpiClock = 4;   // "3.75MHz"
inline constexpr int kDefaultByteOrder = 1;  // MSB first
inline constexpr int kDefaultCSEnable = 1;
inline constexpr int kDefaultSPIRWDelay = 2000000;  // busy-wait iterations
// Longest Frequency text a load gives back.
inline constexpr size_t kMaxFrequencyChars = 259;

int LoadSpiMode();
int LoadSpiClock();
int LoadByteOrder();
int LoadCS1Polarity();
int LoadCS2Polarity();
int LoadInOutInterval();
int LoadFreqEnable();
int LoadFreqUnit();
int LoadDataBits();
int LoadCSEnable();
int LoadCSChipIndex();
int LoadCSActive();
int LoadActiveRwDelay();
int LoadDeactiveRwDelay();
int LoadSPIRWDelay();
// At most kMaxFrequencyChars characters.
std::u16string LoadFrequency();

bool SaveSpiMode(int value);
bool SaveSpiClock(int value);
bool SaveByteOrder(int value);
bool SaveCS1Polarity(int value);
bool SaveCS2Polarity(int value);
bool SaveInOutInterval(int value);
bool SaveFreqEnable(int value);
bool SaveFreqUnit(int value);
bool SaveDataBits(int value);
bool SaveCSEnable(int value);
bool SaveCSChipIndex(int value);
bool SaveCSActive(int value);
bool SaveActiveRwDelay(int value);
bool SaveDeactiveRwDelay(int value);
bool SaveSPIRWDelay(int value);
// The text is stored as given; one with a line break is refused (false).
bool SaveFrequency(const std::u16string& text);

// Fills every field of the record from its key, whatever FreqEnable and
// CSEnable say; the link library decides what it uses.
void LoadSpiConfig(_UI_SPI_CONFIG& config);
