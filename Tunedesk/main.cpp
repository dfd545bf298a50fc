// tunedesk: the picture-quality control panel.
#include <cstdio>
#include <cstring>
#include <string>

#include <QApplication>

#include "StartOptions.h"
#include "Translation.h"
#include "TunedeskApp.h"
#include "TunedeskVersion.h"

namespace {

constexpr const char kUsage[] =
    "Usage: tunedesk [OPTION]...\n"
    "The picture-quality control panel for a video-processing chip behind a CH347\n"
    "USB-to-SPI bridge. Without a bridge attached it uses the simulated bridge.\n"
    "\n"
    "  --backend auto|usb|sim  which bridges to use (also TUNEDESK_BACKEND)\n"
    "  --sim-image FILE        keep the simulated chip's state in FILE\n"
    "  --faults SETTINGS           seeded fault injection (also TUNEDESK_FAULTS)\n"
    "  --lang en               English captions (also TUNEDESK_LANG)\n"
    "  --trace                 print the debug trace lines to standard error\n"
    "  --version               print the version and exit\n"
    "  --help                  print this help and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are passed on to Qt.\n"
    "Without a display the program says so and exits with status 0.\n";

}  // namespace

int main(int argc, char** argv) {
    StartOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tunedesk %s\n", kTunedeskVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
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
    if (!DisplayAvailable(argc, argv)) {
        // QApplication would abort here; the window simply cannot be created.
        CTunedeskApp theApp;
        result = theApp.InitInstance();
        std::fprintf(stderr,
                     "tunedesk: no display found (DISPLAY and WAYLAND_DISPLAY are not set); run it in a desktop "
                     "session, or without a screen as \"xvfb-run tunedesk\" or with QT_QPA_PLATFORM=offscreen\n");
    } else {
        QApplication app(argc, argv);
        if (!InstallTranslation(options.lang, error)) {
            std::fprintf(stderr, "tunedesk: %s; the captions stay Japanese\n", error.c_str());
        }
        CTunedeskApp theApp;
        result = theApp.InitInstance();
    }
    if (!FinishStartOptions(&error)) {
        std::fprintf(stderr, "tunedesk: %s\n", error.c_str());
        if (result == 0) result = 1;
    }
    return result;
}
