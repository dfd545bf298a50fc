// Placeholder for the register console entry point until the console lands.
#include <QWidget>

__attribute__((weak)) void ShowRegisterConsole(QWidget* /*parent*/) {}
