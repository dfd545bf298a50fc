#include "PanelAccessible.h"

#include <map>
#include <mutex>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QScrollBar>

#include "CHListBox.h"
#include "ControlTable.h"

namespace {

// One line of a CHListBox. Lines have no QObject of their own; the list keeps
// these in Qt's accessibility cache for as long as the row numbers hold.
class ListLineAccessible : public QAccessibleInterface {
public:
    ListLineAccessible(CHListBox* list, int row) : list_(list), row_(row) {}

    bool isValid() const override { return list_ != nullptr && row_ >= 0 && row_ < list_->GetCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ != nullptr ? list_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return list_ != nullptr ? QAccessible::queryAccessibleInterface(list_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !isValid()) return {};
        // Read as painted: line ends inside a log line are blanks on screen.
        QString line = list_->GetText(row_);
        return line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return {};
        const QRect row = list_->RowRect(row_);
        if (!list_->viewport()->rect().intersects(row)) return {};
        return QRect(list_->viewport()->mapToGlobal(row.topLeft()), row.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        s.selected = list_->IsSelected(row_);
        s.focused = list_->hasFocus() && row_ == list_->GetCurSel();
        if (!list_->viewport()->rect().intersects(list_->RowRect(row_))) s.offscreen = true;
        return s;
    }

    int Row() const { return row_; }

private:
    QPointer<CHListBox> list_;
    int row_;
};

// The log list as a list of its lines (its scroll bars are not announced: the
// keyboard and the reader move through the lines themselves).
class ListBoxAccessible : public QAccessibleWidget {
public:
    explicit ListBoxAccessible(CHListBox* list) : QAccessibleWidget(list, QAccessible::List) {}
    ~ListBoxAccessible() override { DropLines(); }

    int childCount() const override { return List()->GetCount(); }

    QAccessibleInterface* child(int index) const override {
        CHListBox* list = List();
        if (index < 0 || index >= list->GetCount()) return nullptr;
        if (version_ != list->StructureVersion()) {
            // Lines were inserted, deleted or cleared: the row numbers moved.
            DropLines();
            version_ = list->StructureVersion();
        }
        const auto it = lines_.find(index);
        if (it != lines_.end()) return QAccessible::accessibleInterface(it->second);
        auto* line = new ListLineAccessible(list, index);
        lines_[index] = QAccessible::registerAccessibleInterface(line);
        return line;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* line = dynamic_cast<const ListLineAccessible*>(child);
        return line != nullptr && line->isValid() ? line->Row() : -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        CHListBox* list = List();
        const QPoint local = list->viewport()->mapFromGlobal(QPoint(x, y));
        if (!list->viewport()->rect().contains(local)) return nullptr;
        return child(list->RowAt(local.y()));
    }

    QAccessibleInterface* focusChild() const override {
        const CHListBox* list = List();
        return list->hasFocus() && list->GetCurSel() >= 0 ? child(list->GetCurSel()) : nullptr;
    }

    void DropLines() const {
        for (const auto& [row, id] : lines_) QAccessible::deleteAccessibleInterface(id);
        lines_.clear();
    }

private:
    CHListBox* List() const { return static_cast<CHListBox*>(widget()); }

    mutable std::map<int, QAccessible::Id> lines_;
    mutable quint64 version_ = 0;
};

// A radio button of a group that may show no choice (CGroupRadioButton).
class GroupRadioAccessible : public QAccessibleWidget {
public:
    explicit GroupRadioAccessible(QAbstractButton* button) : QAccessibleWidget(button, QAccessible::RadioButton) {}

    QString text(QAccessible::Text t) const override {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty()) {
            text = Button()->text();
            text.remove(QLatin1Char('&'));
        }
        return text;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = Button()->isChecked();
        return s;
    }
    QStringList actionNames() const override {
        QStringList names;
        if (Button()->isEnabled()) names << QAccessibleActionInterface::pressAction();
        return names << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == QAccessibleActionInterface::pressAction() ||
            action == QAccessibleActionInterface::toggleAction()) {
            if (Button()->isEnabled()) Button()->click();  // checks it and clears the group
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* PanelFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("CHListBox")) {
        if (auto* list = qobject_cast<CHListBox*>(object)) return new ListBoxAccessible(list);
    } else if (className == QLatin1String("CGroupRadioButton")) {
        if (auto* radio = qobject_cast<CGroupRadioButton*>(object)) return new GroupRadioAccessible(radio);
    }
    return nullptr;
}

// The list's interface while a reader listens (Qt drops events otherwise), so
// the log pays nothing for this when nobody uses it.
ListBoxAccessible* ActiveInterface(CHListBox* list) {
    if (!QAccessible::isActive()) return nullptr;
    return dynamic_cast<ListBoxAccessible*>(QAccessible::queryAccessibleInterface(list));
}

}  // namespace

void InstallPanelAccessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(PanelFactory); });
}

void NotifyListSelection(CHListBox* list) {
    ListBoxAccessible* iface = ActiveInterface(list);
    if (iface == nullptr || list->GetCurSel() < 0) return;
    QAccessibleInterface* line = iface->child(list->GetCurSel());
    if (line == nullptr) return;
    QAccessibleEvent selection(line, QAccessible::Selection);
    QAccessible::updateAccessibility(&selection);
    if (list->hasFocus()) {
        QAccessibleEvent focus(line, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void NotifyListReset(CHListBox* list) {
    ListBoxAccessible* iface = ActiveInterface(list);
    if (iface == nullptr) return;
    iface->DropLines();
    QAccessibleEvent reorder(list, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&reorder);
}
