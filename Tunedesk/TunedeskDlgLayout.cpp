// Main window layout: x, y, width, height in dialog units.
#include "TunedeskDlgLayout.h"

#include <array>

#include "TunedeskDlgIds.h"

namespace {
using K = CtlKind;

constexpr std::array kControls = std::to_array<ControlRecord>({
    {IDC_STATIC, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "パラメータ設定"), 3, 0, 434, 405},
    {IDC_STATIC_DEVICE_LIST, K::StaticLeft, QT_TRANSLATE_NOOP("Caption", "デバイスリスト:"), 8, 10, 69, 12},
    {IDC_CMB_DEVICE_LIST, K::DropList, "", 8, 24, 207, 113},
    {IDC_BTN_REFRESH_DEVICE, K::PushButton, QT_TRANSLATE_NOOP("Caption", "デバイスリストの更新"), 73, 41, 81, 14},
    {IDC_BTN_OPEN_DEVICE, K::PushButton, QT_TRANSLATE_NOOP("Caption", "デバイスを開く"), 157, 41, 58, 14},
    {IDC_BTN_WRITE_TEST_REG, K::PushButton, QT_TRANSLATE_NOOP("Caption", "Write 0x40080060"), 246, 25, 76, 30},
    {IDC_BTN_READ_TEST_REG, K::PushButton, QT_TRANSLATE_NOOP("Caption", "Read 0x40080060"), 343, 25, 76, 30},

    {IDC_GRP_VIVID, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "鮮明化"), 8, 65, 207, 82},
    {IDC_CMB_VIVID_ONOFF, K::DropList, "", 10, 77, 48, 30},
    {IDC_GRP_VIVID_RANGE, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "レンジ"), 100, 77, 108, 24},
    {IDC_RADIO_VIVID_RANGE_LARGE, K::RadioFirst, QT_TRANSLATE_NOOP("Caption", "大"), 106, 87, 23, 10},
    {IDC_RADIO_VIVID_RANGE_MEDIUM, K::Radio, QT_TRANSLATE_NOOP("Caption", "中"), 143, 87, 23, 10},
    {IDC_RADIO_VIVID_RANGE_SMALL, K::Radio, QT_TRANSLATE_NOOP("Caption", "小"), 180, 87, 23, 10},
    {IDC_STATIC_VIVID_INTENSITY, K::StaticRight, QT_TRANSLATE_NOOP("Caption", "強度"), 10, 114, 60, 11},
    {IDC_SLIDER_VIVID_INTENSITY, K::Slider, "", 74, 112, 98, 15},
    {IDC_LABEL_VIVID_INTENSITY, K::ValueLabel, "130", 177, 110, 28, 18},
    {IDC_STATIC_VIVID_INTENSITY_MIN, K::StaticLeft, "0", 78, 127, 11, 11},
    {IDC_STATIC_VIVID_INTENSITY_MAX, K::StaticCenter, "255", 155, 127, 17, 11},

    {IDC_GRP_SHARPENING, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "鮮鋭化"), 223, 65, 207, 82},
    {IDC_CMB_SHARPENING_ONOFF, K::DropList, "", 225, 77, 48, 30},
    {IDC_GRP_SHARPENING_AREA, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "エリア"), 311, 77, 108, 24},
    {IDC_RADIO_SHARPENING_LARGE, K::RadioFirst, QT_TRANSLATE_NOOP("Caption", "大"), 317, 87, 23, 10},
    {IDC_RADIO_SHARPENING_MEDIUM, K::Radio, QT_TRANSLATE_NOOP("Caption", "中"), 354, 87, 23, 10},
    {IDC_RADIO_SHARPENING_SMALL, K::Radio, QT_TRANSLATE_NOOP("Caption", "小"), 391, 87, 23, 10},
    {IDC_STATIC_SHARPENING_INTENSITY, K::StaticRight, QT_TRANSLATE_NOOP("Caption", "強度"), 250, 114, 27, 11},
    {IDC_SLIDER_SHARPENING_INTENSITY, K::Slider, "", 283, 112, 98, 15},
    {IDC_LABEL_SHARPENING_INTENSITY, K::ValueLabel, "0", 386, 110, 36, 18},
    {IDC_STATIC_SHARPENING_INTENSITY_MIN, K::StaticLeft, "0", 287, 127, 11, 11},
    {IDC_STATIC_SHARPENING_INTENSITY_MAX, K::StaticCenter, "1024", 364, 127, 17, 11},

    {IDC_GRP_EXTENDED_CONTRAST, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "拡張コントラスト"), 8, 151, 207, 126},
    {IDC_CMB_EXTENDED_CONTRAST_ONOFF, K::DropList, "", 10, 165, 48, 30},
    {IDC_CHK_AUTO_BRIGHTNESS, K::CheckBox, QT_TRANSLATE_NOOP("Caption", "自動明度"), 162, 166, 43, 10},
    {IDC_STATIC_THRESHOLD, K::StaticRight, QT_TRANSLATE_NOOP("Caption", "閾値"), 10, 188, 60, 11},
    {IDC_SLIDER_THRESHOLD, K::Slider, "", 74, 186, 98, 15},
    {IDC_LABEL_THRESHOLD, K::ValueLabel, "10", 177, 184, 28, 18},
    {IDC_STATIC_THRESHOLD_MIN, K::StaticLeft, "0", 78, 201, 11, 11},
    {IDC_STATIC_THRESHOLD_MAX, K::StaticCenter, "128", 155, 201, 17, 11},
    {IDC_STATIC_BRIGHTNESS, K::StaticRight, QT_TRANSLATE_NOOP("Caption", "明度"), 10, 215, 60, 11},
    {IDC_SLIDER_BRIGHTNESS, K::Slider, "", 74, 213, 98, 15},
    {IDC_LABEL_BRIGHTNESS, K::ValueLabel, "0", 177, 211, 28, 18},
    {IDC_STATIC_BRIGHTNESS_MIN, K::StaticLeft, "0", 78, 228, 11, 11},
    {IDC_STATIC_BRIGHTNESS_MAX, K::StaticCenter, "255", 155, 228, 17, 11},
    {IDC_STATIC_ADAPTIVE_CONTRAST, K::StaticRight, QT_TRANSLATE_NOOP("Caption", "適応コントラスト"), 10, 242, 60, 11},
    {IDC_SLIDER_ADAPTIVE_CONTRAST, K::Slider, "", 74, 240, 98, 15},
    {IDC_LABEL_ADAPTIVE_CONTRAST, K::ValueLabel, "0", 177, 238, 28, 18},
    {IDC_STATIC_ADAPTIVE_CONTRAST_MIN, K::StaticLeft, "0", 78, 255, 11, 11},
    {IDC_STATIC_ADAPTIVE_CONTRAST_MAX, K::StaticCenter, "255", 155, 255, 17, 11},

    {IDC_GRP_COLOR_CORRECTION, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "色補正"), 8, 280, 207, 44},
    {IDC_STATIC_COLOR_CORRECTION, K::StaticRight, QT_TRANSLATE_NOOP("Caption", "強度"), 10, 296, 60, 11},
    {IDC_SLIDER_COLOR_CORRECTION, K::Slider, "", 74, 294, 98, 15},
    {IDC_LABEL_COLOR_CORRECTION, K::ValueLabel, "0", 177, 292, 28, 18},
    {IDC_STATIC_COLOR_CORRECTION_MIN, K::StaticLeft, "0", 78, 309, 11, 11},
    {IDC_STATIC_COLOR_CORRECTION_MAX, K::StaticCenter, "7", 155, 309, 17, 11},

    {IDC_GRP_NOISE_REMOVAL, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "ノイズ除去"), 8, 327, 207, 73},
    {IDC_STATIC_NOISE_REMOVAL_INTENSITY, K::StaticRight, QT_TRANSLATE_NOOP("Caption", "強度"), 10, 343, 60, 11},
    {IDC_SLIDER_NOISE_REMOVAL_INTENSITY, K::Slider, "", 74, 341, 98, 15},
    {IDC_LABEL_NOISE_REMOVAL_INTENSITY, K::ValueLabel, "0", 177, 339, 28, 18},
    {IDC_STATIC_NOISE_REMOVAL_INTENSITY_MIN, K::StaticLeft, "0", 78, 356, 11, 11},
    {IDC_STATIC_NOISE_REMOVAL_INTENSITY_MAX, K::StaticCenter, "3", 155, 356, 17, 11},
    {IDC_STATIC_NOISE_REMOVE_SENSITIVITY, K::StaticRight, QT_TRANSLATE_NOOP("Caption", "感度"), 10, 370, 60, 11},
    {IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, K::Slider, "", 74, 368, 98, 15},
    {IDC_LABEL_NOISE_REMOVE_SENSITIVITY, K::ValueLabel, "0", 177, 366, 28, 18},
    {IDC_STATIC_NOISE_REMOVE_SENSITIVITY_MIN, K::StaticLeft, "0", 78, 383, 11, 11},
    {IDC_STATIC_NOISE_REMOVE_SENSITIVITY_MAX, K::StaticCenter, "10", 155, 383, 17, 11},

    {IDC_GRP_VIDEO_RANGE, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "映像レンジ"), 223, 151, 207, 67},
    {IDC_GRP_INPUT_RANGE, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "入力"), 249, 161, 155, 24},
    {IDC_RADIO_INPUT_LIMITED, K::RadioFirst, QT_TRANSLATE_NOOP("Caption", "Limited"), 287, 171, 38, 10},
    {IDC_RADIO_INPUT_FULL, K::Radio, QT_TRANSLATE_NOOP("Caption", "Full"), 346, 171, 26, 10},
    {IDC_GRP_OUTPUT_RANGE, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "出力"), 249, 187, 155, 24},
    {IDC_RADIO_OUTPUT_LIMITED, K::RadioFirst, QT_TRANSLATE_NOOP("Caption", "Limited"), 287, 197, 38, 10},
    {IDC_RADIO_OUTPUT_FULL, K::Radio, QT_TRANSLATE_NOOP("Caption", "Full"), 346, 197, 26, 10},

    {IDC_GRP_PROCESS_AREA, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "処理対象領域"), 223, 223, 207, 117},
    {IDC_RADIO_AREA_ALL, K::RadioFirst, QT_TRANSLATE_NOOP("Caption", "全体"), 242, 235, 30, 10},
    {IDC_RADIO_AREA_CENTER, K::Radio, QT_TRANSLATE_NOOP("Caption", "中心"), 355, 235, 30, 10},
    {IDC_RADIO_AREA_LEFT, K::Radio, QT_TRANSLATE_NOOP("Caption", "左半分"), 242, 284, 37, 10},
    {IDC_RADIO_AREA_RIGHT, K::Radio, QT_TRANSLATE_NOOP("Caption", "右半分"), 355, 284, 37, 10},
    {IDC_PIC_AREA_ALL, K::Picture, "IMAGE", 242, 250, 52, 30},
    {IDC_PIC_AREA_CENTER, K::Picture, "IMAGE", 355, 250, 52, 30},
    {IDC_PIC_AREA_LEFT, K::Picture, "IMAGE", 242, 302, 52, 30},
    {IDC_PIC_AREA_RIGHT, K::Picture, "IMAGE", 355, 302, 52, 30},

    {IDC_GRP_SETTINGS, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "設定"), 223, 347, 207, 53},
    {IDC_BTN_SAVE, K::PushButton, QT_TRANSLATE_NOOP("Caption", "保存"), 229, 365, 39, 30},
    {IDC_BTN_READ, K::PushButton, QT_TRANSLATE_NOOP("Caption", "読み出し"), 281, 365, 39, 30},
    {IDC_BTN_RESET, K::PushButton, QT_TRANSLATE_NOOP("Caption", "リセット"), 333, 365, 39, 30},
    {IDC_BTN_INIT_ALL, K::PushButton, QT_TRANSLATE_NOOP("Caption", "全初期化"), 385, 365, 39, 30},

    {IDC_GRP_LOG, K::GroupBox, QT_TRANSLATE_NOOP("Caption", "ログ表示"), 443, 0, 281, 405},
    {IDC_LIST_LOG, K::ListBox, "", 444, 10, 279, 393},
});
}  // namespace

std::span<const ControlRecord> TunedeskDlgControls() { return kControls; }
