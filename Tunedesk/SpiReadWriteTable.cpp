// Register console layout (dialog 135): x, y, width, height in dialog units.
#include <array>

#include "SpiReadWrite.h"

namespace {
using K = CtlKind;

constexpr std::array kControls = std::to_array<ControlRecord>({
    {IDC_SRW_GRP_REGISTER, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "Register Read/Write"), 7, 7, 294, 114},
    {IDC_SRW_STATIC_CMD, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "CMD Value:"), 12, 21, 63, 8},
    {IDC_SRW_CMB_CMD, K::DropList, "", 75, 19, 82, 30},
    {IDC_SRW_EDIT_CMD, K::Edit, "", 161, 19, 79, 14},
    {IDC_SRW_STATIC_ADDR, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "Register Address:"), 12, 49, 63, 8},
    {IDC_SRW_EDIT_ADDR, K::MultiEdit, "", 75, 39, 166, 36},
    {IDC_SRW_STATIC_DATA, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "Write Data:"), 12, 90, 63, 8},
    {IDC_SRW_EDIT_DATA, K::MultiEdit, "", 75, 80, 166, 36},
    {IDC_SRW_READ, K::DefPushButton, QT_TRANSLATE_NOOP("Caption", "Read"), 245, 49, 50, 14},
    {IDC_SRW_WRITE, K::PushButton, QT_TRANSLATE_NOOP("Caption", "Write"), 245, 82, 50, 14},
    {IDC_SRW_READ_BACK, K::CheckBox, QT_TRANSLATE_NOOP("Caption", "Read back"), 245, 101, 49, 10},
    {IDC_SRW_STATIC_LOG, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "Log Information:"), 306, 7, 63, 8},
    {IDC_SRW_LOG_LIST, K::ListBox, "", 306, 18, 330, 255},
    {IDC_SRW_GRP_EDID, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "EDID Read/Write"), 7, 127, 294, 146},
    {IDC_SRW_STATIC_EDID, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "EDID Read/Write Data:"), 12, 140, 114, 8},
    {IDC_SRW_EDIT_EDID, K::MultiEdit, "", 12, 152, 285, 102},
    {IDC_SRW_EDID_READ, K::PushButton, QT_TRANSLATE_NOOP("Caption", "EDID Read"), 150, 259, 67, 14},
    {IDC_SRW_EDID_WRITE, K::PushButton, QT_TRANSLATE_NOOP("Caption", "EDID Write"), 221, 259, 67, 14},
});
}  // namespace

std::span<const ControlRecord> SpiReadWriteControls() { return kControls; }
