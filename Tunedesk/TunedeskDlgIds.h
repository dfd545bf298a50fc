// Control and command identifiers of the main window (dialog 102) and its menus.
#pragma once

// Dialog template, menus, icon.
constexpr int IDD_TUNEDESK_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDR_MENU_MAIN = 131;
constexpr int IDR_MENU_LOG_POPUP = 134;
constexpr int IDD_ABOUTBOX = 100;

// Device connection.
constexpr int IDC_STATIC_DEVICE_LIST = 1086;
constexpr int IDC_CMB_DEVICE_LIST = 1083;
constexpr int IDC_BTN_REFRESH_DEVICE = 1084;
constexpr int IDC_BTN_OPEN_DEVICE = 1085;
constexpr int IDC_BTN_WRITE_TEST_REG = 1089;
constexpr int IDC_BTN_READ_TEST_REG = 1090;

// Vivid.
constexpr int IDC_GRP_VIVID = 1006;
constexpr int IDC_CMB_VIVID_ONOFF = 1008;
constexpr int IDC_GRP_VIVID_RANGE = 1014;
constexpr int IDC_RADIO_VIVID_RANGE_LARGE = 1015;
constexpr int IDC_RADIO_VIVID_RANGE_MEDIUM = 1016;
constexpr int IDC_RADIO_VIVID_RANGE_SMALL = 1017;
constexpr int IDC_STATIC_VIVID_INTENSITY = 1007;
constexpr int IDC_SLIDER_VIVID_INTENSITY = 1010;
constexpr int IDC_LABEL_VIVID_INTENSITY = 1011;
constexpr int IDC_STATIC_VIVID_INTENSITY_MIN = 1012;
constexpr int IDC_STATIC_VIVID_INTENSITY_MAX = 1013;

// Sharpening.
constexpr int IDC_GRP_SHARPENING = 1005;
constexpr int IDC_CMB_SHARPENING_ONOFF = 1009;
constexpr int IDC_GRP_SHARPENING_AREA = 1018;
constexpr int IDC_RADIO_SHARPENING_LARGE = 1019;
constexpr int IDC_RADIO_SHARPENING_MEDIUM = 1020;
constexpr int IDC_RADIO_SHARPENING_SMALL = 1021;
constexpr int IDC_STATIC_SHARPENING_INTENSITY = 1023;
constexpr int IDC_SLIDER_SHARPENING_INTENSITY = 1022;
constexpr int IDC_LABEL_SHARPENING_INTENSITY = 1024;
constexpr int IDC_STATIC_SHARPENING_INTENSITY_MIN = 1025;
constexpr int IDC_STATIC_SHARPENING_INTENSITY_MAX = 1026;

// Extended Contrast.
constexpr int IDC_GRP_EXTENDED_CONTRAST = 1027;
constexpr int IDC_CMB_EXTENDED_CONTRAST_ONOFF = 1028;
constexpr int IDC_CHK_AUTO_BRIGHTNESS = 1029;
constexpr int IDC_STATIC_THRESHOLD = 1031;
constexpr int IDC_SLIDER_THRESHOLD = 1030;
constexpr int IDC_LABEL_THRESHOLD = 1032;
constexpr int IDC_STATIC_THRESHOLD_MIN = 1033;
constexpr int IDC_STATIC_THRESHOLD_MAX = 1034;
constexpr int IDC_STATIC_BRIGHTNESS = 1036;
constexpr int IDC_SLIDER_BRIGHTNESS = 1035;
constexpr int IDC_LABEL_BRIGHTNESS = 1037;
constexpr int IDC_STATIC_BRIGHTNESS_MIN = 1038;
constexpr int IDC_STATIC_BRIGHTNESS_MAX = 1039;
constexpr int IDC_STATIC_ADAPTIVE_CONTRAST = 1041;
constexpr int IDC_SLIDER_ADAPTIVE_CONTRAST = 1040;
constexpr int IDC_LABEL_ADAPTIVE_CONTRAST = 1042;
constexpr int IDC_STATIC_ADAPTIVE_CONTRAST_MIN = 1043;
constexpr int IDC_STATIC_ADAPTIVE_CONTRAST_MAX = 1044;

// Color Correction.
constexpr int IDC_GRP_COLOR_CORRECTION = 1045;
constexpr int IDC_STATIC_COLOR_CORRECTION = 1047;
constexpr int IDC_SLIDER_COLOR_CORRECTION = 1046;
constexpr int IDC_LABEL_COLOR_CORRECTION = 1048;
constexpr int IDC_STATIC_COLOR_CORRECTION_MIN = 1049;
constexpr int IDC_STATIC_COLOR_CORRECTION_MAX = 1050;

// Noise Removal.
constexpr int IDC_GRP_NOISE_REMOVAL = 1051;
constexpr int IDC_STATIC_NOISE_REMOVAL_INTENSITY = 1053;
constexpr int IDC_SLIDER_NOISE_REMOVAL_INTENSITY = 1052;
constexpr int IDC_LABEL_NOISE_REMOVAL_INTENSITY = 1054;
constexpr int IDC_STATIC_NOISE_REMOVAL_INTENSITY_MIN = 1055;
constexpr int IDC_STATIC_NOISE_REMOVAL_INTENSITY_MAX = 1056;
constexpr int IDC_STATIC_NOISE_REMOVE_SENSITIVITY = 1058;
constexpr int IDC_SLIDER_NOISE_REMOVE_SENSITIVITY = 1057;
constexpr int IDC_LABEL_NOISE_REMOVE_SENSITIVITY = 1059;
constexpr int IDC_STATIC_NOISE_REMOVE_SENSITIVITY_MIN = 1060;
constexpr int IDC_STATIC_NOISE_REMOVE_SENSITIVITY_MAX = 1061;

// Video range (no action of its own).
constexpr int IDC_GRP_VIDEO_RANGE = 1062;
constexpr int IDC_GRP_INPUT_RANGE = 1063;
constexpr int IDC_RADIO_INPUT_LIMITED = 1064;
constexpr int IDC_RADIO_INPUT_FULL = 1065;
constexpr int IDC_GRP_OUTPUT_RANGE = 1066;
constexpr int IDC_RADIO_OUTPUT_LIMITED = 1067;
constexpr int IDC_RADIO_OUTPUT_FULL = 1068;

// Processing target area.
constexpr int IDC_GRP_PROCESS_AREA = 1069;
constexpr int IDC_RADIO_AREA_ALL = 1070;
constexpr int IDC_RADIO_AREA_CENTER = 1071;
constexpr int IDC_RADIO_AREA_LEFT = 1072;
constexpr int IDC_RADIO_AREA_RIGHT = 1073;
constexpr int IDC_PIC_AREA_ALL = 1074;
constexpr int IDC_PIC_AREA_CENTER = 1076;
constexpr int IDC_PIC_AREA_LEFT = 1075;
constexpr int IDC_PIC_AREA_RIGHT = 1077;

// Settings buttons (no action of their own).
constexpr int IDC_GRP_SETTINGS = 1078;
constexpr int IDC_BTN_SAVE = 1079;
constexpr int IDC_BTN_READ = 1080;
constexpr int IDC_BTN_RESET = 1081;
constexpr int IDC_BTN_INIT_ALL = 1082;

// Log view.
constexpr int IDC_GRP_LOG = 1087;
constexpr int IDC_LIST_LOG = 1088;

// Menu commands.
constexpr int ID_MENU_SPI_SETTING = 32772;
constexpr int ID_MENU_SPI_INIT = 32774;
constexpr int ID_MENU_EXPORT_LOG = 32775;
constexpr int ID_MENU_CLEAR_LOG = 32776;
constexpr int ID_MENU_SPI_READWRITE = 32778;
constexpr int ID_MENU_THROUGH_DISP_ON = 32781;
constexpr int ID_MENU_THROUGH_DISP_OFF = 32782;
constexpr int ID_MENU_PROFILE_SAVE = 32783;
constexpr int ID_MENU_PROFILE_LOAD = 32784;
// The "About" entry (a system-menu command on desktops that let programs extend it).
constexpr int IDM_ABOUTBOX = 0x0010;
