// The application object: prepares the GUI, runs the main window modally and
// ends the program when that window closes.
#pragma once

class CTunedeskApp {
public:
    CTunedeskApp();
    // Runs the main window; returns the process exit code (0 also when the
    // window could not be shown: the reason goes to the debug trace).
    int InitInstance();
};

// True when Qt can reach a display: DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM is set, or -platform is on the command line. Without one,
// constructing QApplication aborts the process.
bool DisplayAvailable(int argc, char** argv);
