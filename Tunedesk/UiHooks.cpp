#include "UiHooks.h"

#include <utility>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace {
MessageBoxHook& BoxHook() {
  static MessageBoxHook hook;
  return hook;
}
RunModalHook& ModalHook() {
  static RunModalHook hook;
  return hook;
}

void ShowMessageBoxHere(QWidget* parent, const QString& text) {
  if (BoxHook()) {
    BoxHook()(parent, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, parent);
  box.exec();
}
}  // namespace

void MessageBox(QWidget* parent, const QString& text) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;  // no GUI: nothing can be shown
  if (QThread::currentThread() == app->thread()) {
    ShowMessageBoxHere(parent, text);
    return;
  }
  // Widgets live on the GUI thread only; the worker waits as it would for a
  // native message box. A worker cannot know whether `parent` still exists
  // when the GUI thread gets to the box, so the box is shown without one.
  Q_UNUSED(parent);
  QMetaObject::invokeMethod(
      app, [text] { ShowMessageBoxHere(nullptr, text); }, Qt::BlockingQueuedConnection);
}

void MessageBox(QWidget* parent, const std::u16string& text) {
  MessageBox(parent, QString::fromStdU16String(text));
}

int RunModal(QDialog* dialog) {
  if (dialog == nullptr) return -1;
  if (ModalHook()) return ModalHook()(dialog);
  return dialog->exec();
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) { return std::exchange(BoxHook(), std::move(hook)); }

RunModalHook SetRunModalHook(RunModalHook hook) { return std::exchange(ModalHook(), std::move(hook)); }
