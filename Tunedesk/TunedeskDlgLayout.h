// Control tables of the main window (dialog 102) and the About box (dialog 100).
#pragma once

#include <span>

#include "ControlTable.h"

// Window caption and client size in dialog units of the dialog font.
inline constexpr const char* kTunedeskDlgCaption = "Tunedesk_V1.7.0";
inline constexpr int kTunedeskDlgWidth = 731;
inline constexpr int kTunedeskDlgHeight = 420;
// The dialog font: "MS Shell Dlg" 9 point, the desktop's sans font here.
inline constexpr int kTunedeskDlgFontPoints = 9;

std::span<const ControlRecord> TunedeskDlgControls();
