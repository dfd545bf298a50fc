#include "TunedeskApp.h"

#include <QApplication>

#include "AboutDlg.h"
#include "TunedeskDlg.h"
#include "UiHooks.h"
#include "trace.h"

CTunedeskApp::CTunedeskApp() {
  QCoreApplication::setApplicationName(QStringLiteral("Tunedesk"));
  QApplication::setWindowIcon(TunedeskIcon());
}

int CTunedeskApp::InitInstance() {
  if (QCoreApplication::instance() == nullptr) {
    TD_TRACE("Warning: the main window cannot be created without a GUI application.");
    TD_TRACE("Warning: the program ends without showing a window.");
    return 0;
  }
  CTunedeskDlg dlg(nullptr);
  const int result = RunModal(&dlg);
  if (result < 0) {
    TD_TRACE("Warning: the main window could not be shown, so the program ends.");
    TD_TRACE("Warning: check that a display is available (or run with QT_QPA_PLATFORM=offscreen).");
  }
  return 0;
}
