// tunedesk: the picture-quality control panel.
//   --trace   print the debug trace lines to standard error
#include <cstring>

#include <QApplication>

#include "TunedeskApp.h"
#include "trace.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--trace") == 0) trace::SetStderr(true);
  }
  QApplication app(argc, argv);
  CTunedeskApp theApp;
  return theApp.InitInstance();
}
