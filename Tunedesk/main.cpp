// tunedesk: the picture-quality control panel.
#include <cstdio>
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include "CommandLine.h"
#include "StartOptions.h"
#include "Translation.h"
#include "TunedeskApp.h"
#include "TunedeskVersion.h"

namespace {

const cmdline::Option kPanelOptions[] = {
    {.name = "--version", .help = "print the version and exit"},
    {.name = "--help", .alias = "-h", .help = "print this help and exit"},
};

void PrintUsage() {
    std::fputs(
        "Usage: tunedesk [OPTION]...\n"
        "The picture-quality control panel for a video-processing chip behind a CH347\n"
        "USB-to-SPI bridge. Without a bridge attached it uses the simulated bridge.\n"
        "\n",
        stdout);
    std::fputs(cmdline::HelpLines({StartOptionTable(), kPanelOptions}).c_str(), stdout);
    std::fputs(
        "\n"
        "Qt's own options (-platform, -style, ...) are passed on to Qt.\n"
        "Without a display the program says so and exits with status 0.\n",
        stdout);
}

// SIGTERM (a session logout) and SIGHUP end the panel as closing its window
// does, so the simulated chip is stored on the way out. The handler only
// writes to a pipe; the GUI thread reads it.
int g_endPipe[2] = {-1, -1};

void OnEndSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_endPipe[1], &byte, 1);
}

void EndOnSignals(QApplication& app) {
    if (pipe2(g_endPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_endPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        while (read(g_endPipe[0], &byte, 1) > 0) {
        }
        // Every event loop ends: the main window's and any dialog's over it.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<cmdline::Option> table(StartOptionTable().begin(), StartOptionTable().end());
    table.insert(table.end(), std::begin(kPanelOptions), std::end(kPanelOptions));
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    // What the table does not know is left to Qt (-platform, -style, ...).
    cmdline::Parsed parsed;
    cmdline::Parse(args, table, parsed);
    StartOptions options;
    for (const cmdline::Match& match : parsed.options) {
        if (match.option->name == "--version") {
            std::printf("tunedesk %s\n", kTunedeskVersion);
            return 0;
        }
        if (match.option->name == "--help") {
            PrintUsage();
            return 0;
        }
        TakeStartOption(match, options);
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "tunedesk: %s\n", parsed.error.c_str());
        return 2;
    }
    std::string error;
    if (!ApplyStartOptions(options, error)) {
        std::fprintf(stderr, "tunedesk: %s\n", error.c_str());
        return 2;
    }
    if (!StartOptionsNote().empty()) std::fprintf(stderr, "tunedesk: %s\n", StartOptionsNote().c_str());
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
        EndOnSignals(app);
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
