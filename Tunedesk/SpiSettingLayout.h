// Control table of the SPI settings dialog (dialog 132).
#pragma once

#include <span>

#include "ControlTable.h"

constexpr int IDD_SPI_SETTING = 132;
constexpr int IDC_SPI_OK = 1;      // IDOK
constexpr int IDC_SPI_CANCEL = 2;  // IDCANCEL
constexpr int IDC_SPI_MODE = 1014;
constexpr int IDC_SPI_CLOCK = 1017;
constexpr int IDC_SPI_BYTE_ORDER = 1023;
constexpr int IDC_SPI_CS1_POLARITY = 1037;
constexpr int IDC_SPI_CS2_POLARITY = 1038;
constexpr int IDC_SPI_INOUT_INTERVAL = 1119;
constexpr int IDC_SPI_FREQ_ENABLE = 1160;
constexpr int IDC_SPI_FREQUENCY = 1157;
constexpr int IDC_SPI_FREQ_UNIT = 1158;
constexpr int IDC_SPI_DATA_BITS = 1161;
constexpr int IDC_SPI_CS_ENABLE = 1065;
constexpr int IDC_SPI_CS_CHIP = 1027;
constexpr int IDC_SPI_CS_ACTIVE = 1030;
constexpr int IDC_SPI_ACTIVE_DELAY = 1061;
constexpr int IDC_SPI_DEACTIVE_DELAY = 1063;

inline constexpr const char* kSpiSettingCaption = QT_TRANSLATE_NOOP("Caption", "SPI設定");
inline constexpr int kSpiSettingWidth = 263;
inline constexpr int kSpiSettingHeight = 213;
inline constexpr int kSpiSettingFontPoints = 8;

std::span<const ControlRecord> SpiSettingControls();
