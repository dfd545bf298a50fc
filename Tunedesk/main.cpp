// tunedesk: the picture-quality control panel.
//   --trace              print the debug trace lines to standard error
//   --backend auto|usb|sim   which bridges to use (also TUNEDESK_BACKEND)
//   --sim-image FILE     keep the simulated chip's state in FILE
#include <cstdio>
#include <string>

#include <QApplication>

#include "StartOptions.h"
#include "TunedeskApp.h"

int main(int argc, char** argv) {
  StartOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string error;
    const int taken = TakeStartOption(argc, argv, i, options, error);
    if (taken < 0) {
      std::fprintf(stderr, "tunedesk: %s\n", error.c_str());
      return 2;
    }
    if (taken > 0) i += taken - 1;
    // Anything else is left to Qt (-platform, -style, ...).
  }
  std::string error;
  if (!ApplyStartOptions(options, error)) {
    std::fprintf(stderr, "tunedesk: %s\n", error.c_str());
    return 2;
  }
  int result = 0;
  {
    QApplication app(argc, argv);
    CTunedeskApp theApp;
    result = theApp.InitInstance();
  }
  if (!FinishStartOptions(&error)) {
    std::fprintf(stderr, "tunedesk: %s\n", error.c_str());
    if (result == 0) result = 1;
  }
  return result;
}
