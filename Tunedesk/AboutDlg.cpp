#include "AboutDlg.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>

#include "ControlTable.h"

QIcon TunedeskIcon() {
    // The desktop entry's icon (dist/icons), built into the program.
    static const QIcon icon = [] {
        QIcon result;
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            result.addFile(QStringLiteral(":/icons/tunedesk-%1.png").arg(size), QSize(size, size));
        }
        return result;
    }();
    return icon;
}

namespace {
constexpr int IDC_ABOUT_ICON = 1000;
constexpr int IDC_ABOUT_NAME = 1001;
constexpr int IDOK = 1;

// Dialog 100: x, y, width, height in dialog units.
constexpr ControlRecord kAboutControls[] = {
    {IDC_ABOUT_ICON, CtlKind::StaticLeft, "", 14, 14, 21, 20},
    {IDC_ABOUT_NAME, CtlKind::StaticLeft, QT_TRANSLATE_NOOP("Caption", "Tunedesk, Version 1.0"), 42, 20, 114, 8},
    {IDOK, CtlKind::DefPushButton, "OK", 113, 41, 50, 14},
};
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(Caption(QT_TRANSLATE_NOOP("Caption", "关于 Tunedesk")));
    setWindowIcon(TunedeskIcon());
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    ControlTable controls;  // the widgets belong to the dialog; the map is only needed here
    controls.Build(this, kAboutControls, font);
    setFixedSize(controls.MapDialogSize(170, 62));
    if (auto* icon = controls.Item<QLabel>(IDC_ABOUT_ICON)) {
        icon->setPixmap(TunedeskIcon().pixmap(32, 32));
    }
    if (auto* ok = controls.Item<QPushButton>(IDOK)) connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
