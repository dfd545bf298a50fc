// The places where the panel waits for a person: a message box with an OK
// button, a modal run of a dialog and a file dialog. They go through here so
// that tests can record the texts, answer a dialog or let it run, without a
// human.
#pragma once

#include <functional>
#include <string>

#include <QString>

class QDialog;
class QObject;
class QWidget;

// Shows `text` (through the loaded translation, context "Message") in a
// modal message box with an OK button and returns when it is
// dismissed. From a worker thread the box is shown on the GUI thread, without
// a parent (the worker cannot know the parent still exists by then), and the
// worker waits for it, so a worker must not call this while the GUI thread
// waits for that worker.
void MessageBox(QWidget* parent, const QString& text);
void MessageBox(QWidget* parent, const std::u16string& text);

// Runs `fn` on the GUI thread and returns at once, or with `wait` after it
// has run. Called on the GUI thread, it runs `fn` right away. With a
// `context`, `fn` is dropped if that object is destroyed before the GUI thread
// gets to it. A waiting worker must not be one the GUI thread is waiting for.
void RunOnGuiThread(QObject* context, std::function<void()> fn, bool wait);

// Runs `dialog` modally (QDialog::exec) and returns its result. GUI thread only.
int RunModal(QDialog* dialog);

// Asks for a file to save to (`save`) or to open, filtered by `filter`
// ("Profiles (*.ini)"); an empty string when the user cancels. GUI thread only.
QString ChooseFile(QWidget* parent, bool save, const QString& caption, const QString& filter);

// Test seams. Each setter installs a replacement (an empty function restores
// the real behaviour) and returns the previous one. A replaced MessageBox is
// still called on the GUI thread.
using MessageBoxHook = std::function<void(QWidget* parent, const QString& text)>;
using RunModalHook = std::function<int(QDialog* dialog)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
RunModalHook SetRunModalHook(RunModalHook hook);
using FileDialogHook =
    std::function<QString(QWidget* parent, bool save, const QString& caption, const QString& filter)>;
FileDialogHook SetFileDialogHook(FileDialogHook hook);
