// SPI settings dialog layout: x, y, width, height in dialog units.
#include "SpiSettingLayout.h"

#include <array>

namespace {
using K = CtlKind;

constexpr std::array kControls = std::to_array<ControlRecord>({
    {IDC_STATIC, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "Mode:"), 21, 17, 60, 8},
    {IDC_SPI_MODE, K::DropList, "", 83, 15, 74, 113},
    {IDC_STATIC, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "Clock:"), 21, 36, 60, 8},
    {IDC_SPI_CLOCK, K::DropList, "", 83, 34, 74, 113},
    {IDC_STATIC, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "BitOrder:"), 21, 55, 60, 8},
    {IDC_SPI_BYTE_ORDER, K::DropList, "", 83, 53, 37, 113},
    {IDC_SPI_CS1_POLARITY, K::DropList, "", 122, 53, 64, 113},
    {IDC_SPI_CS2_POLARITY, K::DropList, "", 188, 53, 64, 113},
    {IDC_STATIC, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "SpiOutInInterTime(us):"), 21, 74, 85, 8},
    {IDC_SPI_INOUT_INTERVAL, K::DigitsEdit, "", 108, 72, 64, 12},
    {IDC_SPI_FREQ_ENABLE, K::CheckBox, QT_TRANSLATE_NOOP("Caption", "SpiFrequency:"), 21, 93, 64, 9},
    {IDC_SPI_FREQUENCY, K::Edit, "", 83, 91, 46, 13},
    {IDC_SPI_FREQ_UNIT, K::DropList, "", 132, 91, 48, 70},
    {IDC_STATIC, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "SpiDatabits:"), 21, 113, 60, 8},
    {IDC_SPI_DATA_BITS, K::DropList, "", 83, 111, 48, 70},
    {IDC_SPI_CS_ENABLE, K::CheckBox, QT_TRANSLATE_NOOP("Caption", "EnableCS"), 21, 132, 44, 8},
    {IDC_SPI_CS_CHIP, K::DropList, "", 83, 130, 48, 113},
    {IDC_SPI_CS_ACTIVE, K::DropList, "", 132, 130, 58, 113},
    {IDC_STATIC, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "ActiveCS RW Delay(us):"), 21, 151, 85, 8},
    {IDC_SPI_ACTIVE_DELAY, K::DigitsEdit, "", 108, 150, 64, 12},
    {IDC_STATIC, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "DeactiveCS RW Delay(us):"), 21, 170, 85, 8},
    {IDC_SPI_DEACTIVE_DELAY, K::DigitsEdit, "", 108, 169, 64, 12},
    {IDC_SPI_OK, K::DefPushButton, QT_TRANSLATE_NOOP("Caption", "OK"), 79, 191, 50, 14},
    {IDC_SPI_CANCEL, K::PushButton, QT_TRANSLATE_NOOP("Caption", "Cancel"), 133, 191, 50, 14},
});
}  // namespace

std::span<const ControlRecord> SpiSettingControls() { return kControls; }
