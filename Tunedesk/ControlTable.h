// Dialog layouts as data. Each window lists its controls as records (ID, kind,
// caption, position in dialog units) in a file of its own, like a resource
// script; one builder turns such a table into widgets with absolute geometry
// and keeps an ID -> widget map that handlers and tests use.
//
// Dialog units follow the dialog font: base x is the average width of
// "A".."Z" "a".."z", base y the line height; x px = dlu * base x / 4 and
// y px = dlu * base y / 8. Controls keep their positions and sizes when the
// window is resized.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QRadioButton>
#include <QRect>
#include <QSize>

class QScrollArea;
class QSlider;
class QWidget;

// The "no identifier" ID of labels and frames nobody looks up.
constexpr int IDC_STATIC = -1;

enum class CtlKind {
    GroupBox,
    StaticLeft,
    StaticCenter,
    StaticRight,
    ValueLabel,  // centred static painted by the window (CValueLabel)
    DropList,    // combo box the user can only pick from; h = drop-down height
    PushButton,
    DefPushButton,  // the dialog's default button (Enter)
    RadioFirst,     // radio button that starts a new group
    Radio,          // radio button in the group of the last RadioFirst
    CheckBox,
    Slider,      // horizontal, no ticks
    ListBox,     // CHListBox, both scroll bars
    Edit,        // one-line edit
    MultiEdit,   // multi-line edit with a vertical scroll bar
    DigitsEdit,  // one-line edit taking decimal digits only
    Picture,     // CProcessingArea
};

struct ControlRecord {
    int id;
    CtlKind kind;
    const char* caption;  // UTF-8; text captions marked QT_TRANSLATE_NOOP("Caption", ...)
    int x, y, w, h;       // dialog units
};

// A caption through the loaded translation (context "Caption"); with none
// loaded, the text as written. Used by the builder, the menus and window titles.
QString Caption(const char* text);

// Dialog base units of `font` in pixels (x: average character width, y: line height).
QSize DialogBaseUnits(const QFont& font);

// The built controls of one window.
class ControlTable {
public:
    // Creates one widget per record as a child of `parent`, in table order (so
    // later records paint above earlier group boxes), with `font`. Controls
    // without a telling caption get an accessible name from the captions
    // around them: their frame and their label ("Vivid, level").
    void Build(QWidget* parent, std::span<const ControlRecord> records, const QFont& font);

    // The widget of control `id`, or nullptr. IDC_STATIC controls are not mapped.
    QWidget* GetDlgItem(int id) const;
    template <class T>
    T* Item(int id) const {
        return qobject_cast<T*>(GetDlgItem(id));
    }

    // Every built widget in table order, IDC_STATIC ones included.
    const std::vector<QWidget*>& Widgets() const { return widgets_; }

    // Dialog units -> pixels for the font given to Build.
    QRect MapDialogRect(int x, int y, int w, int h) const;
    QSize MapDialogSize(int w, int h) const;
    QSize BaseUnits() const { return base_; }

private:
    QSize base_{4, 8};
    std::map<int, QWidget*> byId_;
    std::vector<QWidget*> widgets_;
};

// The controls keep their template positions and sizes however small the
// window gets: `client` (the parent of a built table, `layoutSize` pixels)
// goes into a scroll area, which the caller puts into `window`'s layout, and a
// window smaller than the layout scrolls instead of cutting controls off.
QScrollArea* PlaceInScrollArea(QWidget* window, QWidget* client, QSize layoutSize);

// The first size of a window that shows `size` pixels: that, or the available
// size of its screen, whichever is smaller (plus room for the one scroll bar
// needed when only one direction is cut).
QSize FirstWindowSize(const QWidget* window, QSize size);

// A radio button with the behaviour of a classic auto radio button: a click
// checks it and clears the others of its group; setChecked() from code
// touches only this button, so a group can also show no choice at all.
class CGroupRadioButton : public QRadioButton {
    Q_OBJECT
public:
    explicit CGroupRadioButton(const QString& text, QWidget* parent = nullptr);
    void SetGroup(std::shared_ptr<std::vector<CGroupRadioButton*>> group);

protected:
    void nextCheckState() override;
    bool hitButton(const QPoint& pos) const override;

private:
    std::shared_ptr<std::vector<CGroupRadioButton*>> group_;
};

// A centred static whose text colour and background the owning window decides
// each time it paints (the window's answer to "which colours for this label").
class CValueLabel : public QLabel {
    Q_OBJECT
public:
    struct Colors {
        QColor text;
        QColor background;  // invalid: transparent
    };
    using ColorProvider = std::function<Colors()>;

    explicit CValueLabel(const QString& text, QWidget* parent = nullptr);
    void SetColorProvider(ColorProvider provider) { provider_ = std::move(provider); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ColorProvider provider_;
};

// Feeds `slider`'s user actions to `onScroll(code)` with the TB_ codes of
// WinMsg.h: a line/page/track code for every value change the user makes, then
// TB_ENDTRACK once the action is complete (thumb released, key released, page
// click released, wheel step done). Values set from code produce nothing.
void ConnectSliderScroll(QSlider* slider, std::function<void(unsigned code)> onScroll);
