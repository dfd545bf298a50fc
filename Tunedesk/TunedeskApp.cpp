#include "TunedeskApp.h"

#include <cstdlib>
#include <cstring>

#include <QApplication>

#include "AboutDlg.h"
#include "PanelBus.h"
#include "TunedeskDlg.h"
#include "UiHooks.h"
#include "trace.h"

CTunedeskApp::CTunedeskApp() {
    QCoreApplication::setApplicationName(QStringLiteral("Tunedesk"));
    // Pixmaps need the GUI application; without one there is no window anyway.
    if (QCoreApplication::instance() == nullptr) return;
    QApplication::setWindowIcon(TunedeskIcon());
    // Lets the desktop match the window to its entry (name and icon): the
    // application ID, as the metainfo and the session-bus name spell it.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tunedesk.Tunedesk"));
}

bool DisplayAvailable(int argc, char** argv) {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') return true;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return true;
    }
    return false;
}

int CTunedeskApp::InitInstance() {
    if (QCoreApplication::instance() == nullptr) {
        TD_TRACE("Warning: the main window cannot be created without a GUI application.");
        TD_TRACE("Warning: the program ends without showing a window.");
        return 0;
    }
    CTunedeskDlg dlg(nullptr);
    // Scripts and tunedesk-cli reach the chip through the running panel.
    PanelBus bus(&dlg);
    bus.Start();
    const int result = RunModal(&dlg);
    if (result < 0) {
        TD_TRACE("Warning: the main window could not be shown, so the program ends.");
        TD_TRACE("Warning: check that a display is available (or run with QT_QPA_PLATFORM=offscreen).");
    }
    return 0;
}
