// The About box (dialog 100) and the program icon (icon 128).
#pragma once

#include <QDialog>
#include <QIcon>

// The program's icon, drawn once: a picture frame with the processed area.
QIcon TunedeskIcon();

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
