#include "UiHooks.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include "WinMsg.h"

namespace {
MessageBoxHook& BoxHook() {
    static MessageBoxHook hook;
    return hook;
}
RunModalHook& ModalHook() {
    static RunModalHook hook;
    return hook;
}
FileDialogHook& FileHook() {
    static FileDialogHook hook;
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
// A function on its way to the GUI thread. Qt deletes the event after it ran,
// or unrun when the application goes away first; either way a waiting worker
// is released, so it can never hang on a dropped event.
struct RunDone {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
};

class RunEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::MaxUser - 1);

    RunEvent(QObject* context, std::function<void()> fn, std::shared_ptr<RunDone> done)
        : QEvent(kType),
          context_(context),
          hasContext_(context != nullptr),
          fn_(std::move(fn)),
          done_(std::move(done)) {}
    ~RunEvent() override {
        if (!done_) return;
        std::lock_guard<std::mutex> lock(done_->mutex);
        done_->done = true;
        done_->cv.notify_all();
    }
    void Run() {
        if (!hasContext_ || context_) fn_();
    }

private:
    QPointer<QObject> context_;
    const bool hasContext_;
    std::function<void()> fn_;
    std::shared_ptr<RunDone> done_;
};

class GuiRunner : public QObject {
public:
    bool event(QEvent* e) override {
        HandoffAcquire(e);
        if (e->type() != RunEvent::kType) return QObject::event(e);
        static_cast<RunEvent*>(e)->Run();
        return true;
    }
};

// Lives on the GUI thread for the rest of the process.
GuiRunner* Runner(QCoreApplication* app) {
    static GuiRunner* runner = [app] {
        auto* r = new GuiRunner;
        r->moveToThread(app->thread());
        return r;
    }();
    return runner;
}
}  // namespace

void RunOnGuiThread(QObject* context, std::function<void()> fn, bool wait) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || !fn) return;
    if (QThread::currentThread() == app->thread()) {
        fn();
        return;
    }
    auto done = wait ? std::make_shared<RunDone>() : nullptr;
    auto* event = new RunEvent(context, std::move(fn), done);
    HandoffRelease(event);
    QCoreApplication::postEvent(Runner(app), event);
    if (!done) return;
    std::unique_lock<std::mutex> lock(done->mutex);
    done->cv.wait(lock, [&] { return done->done; });
}

void MessageBox(QWidget* parent, const QString& rawText) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;  // no GUI: nothing can be shown
    // Fixed texts are marked QT_TRANSLATE_NOOP("Message", ...) where they are
    // written; a text with a value filled in stays as it is.
    const QString text = QCoreApplication::translate("Message", rawText.toUtf8().constData());
    if (QThread::currentThread() == app->thread()) {
        ShowMessageBoxHere(parent, text);
        return;
    }
    // Widgets live on the GUI thread only; the worker waits as it would for a
    // native message box. A worker cannot know whether `parent` still exists
    // when the GUI thread gets to the box, so the box is shown without one.
    Q_UNUSED(parent);
    RunOnGuiThread(
        nullptr, [text] { ShowMessageBoxHere(nullptr, text); }, true);
}

void MessageBox(QWidget* parent, const std::u16string& text) { MessageBox(parent, QString::fromStdU16String(text)); }

int RunModal(QDialog* dialog) {
    if (dialog == nullptr) return -1;
    if (ModalHook()) return ModalHook()(dialog);
    return dialog->exec();
}

QString ChooseFile(QWidget* parent, bool save, const QString& caption, const QString& filter) {
    if (FileHook()) return FileHook()(parent, save, caption, filter);
    return save ? QFileDialog::getSaveFileName(parent, caption, QString(), filter)
                : QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) { return std::exchange(BoxHook(), std::move(hook)); }

RunModalHook SetRunModalHook(RunModalHook hook) { return std::exchange(ModalHook(), std::move(hook)); }

FileDialogHook SetFileDialogHook(FileDialogHook hook) { return std::exchange(FileHook(), std::move(hook)); }
