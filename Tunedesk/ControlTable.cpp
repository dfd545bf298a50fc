#include "ControlTable.h"

#include <memory>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QTimer>

#include "CHListBox.h"
#include "CProcessingArea.h"
#include "PanelAccessible.h"
#include "WinMsg.h"

namespace {
// A group box drawn the classic way: the caption sits on the frame's top line,
// so controls placed just below the caption in the layout tables stay inside
// the frame instead of overlapping a title bar above it.
class ClassicGroupBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QFontMetrics fm(font());
        const int top = fm.height() / 2;
        const QRect frame(0, top, width() - 1, height() - top - 1);
        // Etched frame: dark line with a light one just inside.
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(frame.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::Light));
        p.drawRect(frame.adjusted(1, 1, 0, 0));
        if (title().isEmpty()) return;
        const int indent = std::max(4, fm.averageCharWidth());
        const QString text = fm.elidedText(title(), Qt::ElideRight, std::max(0, width() - 2 * indent));
        const QRect textRect(indent, 0, fm.horizontalAdvance(text) + 4, fm.height());
        p.fillRect(textRect, palette().color(QPalette::Window));
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        p.drawText(textRect, Qt::AlignCenter, text);
    }
};

int MulDiv(int value, int numerator, int denominator) {
    const long long p = static_cast<long long>(value) * numerator;
    // Rounded half away from zero, like the classic dialog-unit conversion.
    return static_cast<int>(p >= 0 ? (p + denominator / 2) / denominator : (p - denominator / 2) / denominator);
}

// ---- Accessible names --------------------------------------------------------
// A reader announces a control by its name. Sliders, lists and fields have no
// caption of their own, and the radio captions (大, 中, Limited, ...) say
// little alone, so names are made from the captions around them: the frame
// they sit in and the label that precedes them, "Vivid, level".

bool IsLabelKind(CtlKind kind) {
    return kind == CtlKind::StaticLeft || kind == CtlKind::StaticCenter || kind == CtlKind::StaticRight ||
           kind == CtlKind::CheckBox;
}

// The height a control takes on screen (a drop-down list's record holds its opened height).
int VisibleHeight(const ControlRecord& rec) { return rec.kind == CtlKind::DropList ? 12 : rec.h; }

bool Contains(const ControlRecord& outer, const ControlRecord& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
           inner.y + VisibleHeight(inner) <= outer.y + outer.h;
}

// The innermost group box around `rec`, or nullptr.
const ControlRecord* GroupOf(std::span<const ControlRecord> records, const ControlRecord& rec) {
    const ControlRecord* group = nullptr;
    for (const ControlRecord& g : records) {
        if (g.kind != CtlKind::GroupBox || &g == &rec || !Contains(g, rec)) continue;
        if (group == nullptr || Contains(*group, g)) group = &g;
    }
    return group;
}

// The label of `rec`: the nearest label on its row to its left in the same
// frame with no other control in between, else a label right before it in the table.
const ControlRecord* LabelOf(std::span<const ControlRecord> records, std::size_t index) {
    const ControlRecord& rec = records[index];
    const ControlRecord* group = GroupOf(records, rec);
    auto onRow = [&](const ControlRecord& other) {
        return other.y < rec.y + VisibleHeight(rec) && rec.y < other.y + VisibleHeight(other);
    };
    const ControlRecord* nearest = nullptr;
    for (const ControlRecord& other : records) {
        if (&other == &rec || other.kind == CtlKind::GroupBox || !onRow(other)) continue;
        if (other.x + other.w > rec.x + 4 || GroupOf(records, other) != group) continue;  // not to the left
        if (nearest == nullptr || other.x > nearest->x) nearest = &other;
    }
    if (nearest != nullptr && IsLabelKind(nearest->kind) && *nearest->caption != '\0') return nearest;
    if (index > 0 && IsLabelKind(records[index - 1].kind) && *records[index - 1].caption != '\0' &&
        records[index - 1].kind != CtlKind::CheckBox) {
        return &records[index - 1];
    }
    return nullptr;
}

// "Level" -> "level" after the comma, leaving acronyms ("CMD", "EDID") and
// scripts without case alone.
QString SentenceCase(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool wordStart = i == 0 || text[i - 1] == u' ' || text[i - 1] == u'/';
        if (wordStart && text[i].isUpper() && (i + 1 >= text.size() || text[i + 1].isLower())) {
            text[i] = text[i].toLower();
        }
    }
    return text;
}

QString CaptionText(const ControlRecord& rec) {
    QString text = Caption(rec.caption);
    text.remove(QLatin1Char('&'));
    text = text.trimmed();
    while (text.endsWith(u':') || text.endsWith(u'\uFF1A')) text.chop(1);  // "Mode:", "デバイスリスト:"
    return text.trimmed();
}

QString AccessibleNameOf(std::span<const ControlRecord> records, std::size_t index) {
    const ControlRecord& rec = records[index];
    QString what;
    switch (rec.kind) {
    case CtlKind::Slider:
    case CtlKind::DropList:
    case CtlKind::ListBox:
    case CtlKind::Edit:
    case CtlKind::MultiEdit:
    case CtlKind::DigitsEdit:
        if (const ControlRecord* label = LabelOf(records, index)) what = CaptionText(*label);
        break;
    case CtlKind::RadioFirst:
    case CtlKind::Radio:
    case CtlKind::CheckBox: what = CaptionText(rec); break;
    default: return QString();  // buttons, labels and frames are named by their own text
    }
    const ControlRecord* group = GroupOf(records, rec);
    const QString frame = group != nullptr ? CaptionText(*group) : QString();
    if (frame.isEmpty()) return what;
    if (what.isEmpty()) return frame;
    return frame + QStringLiteral(", ") + SentenceCase(what);
}
}  // namespace

QString Caption(const char* text) {
    if (text == nullptr || *text == '\0') return QString();
    return QCoreApplication::translate("Caption", text);
}

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((width / 26 + 1) / 2, fm.height());
}

QRect ControlTable::MapDialogRect(int x, int y, int w, int h) const {
    return QRect(MulDiv(x, base_.width(), 4), MulDiv(y, base_.height(), 8), MulDiv(w, base_.width(), 4),
                 MulDiv(h, base_.height(), 8));
}

QSize ControlTable::MapDialogSize(int w, int h) const { return MapDialogRect(0, 0, w, h).size(); }

QWidget* ControlTable::GetDlgItem(int id) const {
    const auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

void ControlTable::Build(QWidget* parent, std::span<const ControlRecord> records, const QFont& font) {
    base_ = DialogBaseUnits(font);
    std::shared_ptr<std::vector<CGroupRadioButton*>> radioGroup;

    for (const ControlRecord& rec : records) {
        const QString caption = Caption(rec.caption);
        QRect geometry = MapDialogRect(rec.x, rec.y, rec.w, rec.h);
        QWidget* widget = nullptr;

        switch (rec.kind) {
        case CtlKind::GroupBox: widget = new ClassicGroupBox(caption, parent); break;
        case CtlKind::StaticLeft:
        case CtlKind::StaticCenter:
        case CtlKind::StaticRight: {
            auto* label = new QLabel(caption, parent);
            Qt::Alignment align = Qt::AlignTop;
            align |= rec.kind == CtlKind::StaticLeft     ? Qt::AlignLeft
                     : rec.kind == CtlKind::StaticCenter ? Qt::AlignHCenter
                                                         : Qt::AlignRight;
            label->setAlignment(align);
            label->setWordWrap(true);
            widget = label;
            break;
        }
        case CtlKind::ValueLabel: widget = new CValueLabel(caption, parent); break;
        case CtlKind::DropList: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            combo->setFont(font);
            // The record's height is the opened list's; the closed box is one line high.
            const int itemHeight = QFontMetrics(font).height() + 2;
            combo->setMaxVisibleItems(std::max(1, (geometry.height() - combo->sizeHint().height()) / itemHeight));
            geometry.setHeight(combo->sizeHint().height());
            widget = combo;
            break;
        }
        case CtlKind::PushButton:
        case CtlKind::DefPushButton: {
            auto* button = new QPushButton(caption, parent);
            if (rec.kind == CtlKind::DefPushButton) button->setDefault(true);
            widget = button;
            break;
        }
        case CtlKind::RadioFirst:
        case CtlKind::Radio: {
            auto* radio = new CGroupRadioButton(caption, parent);
            if (rec.kind == CtlKind::RadioFirst || !radioGroup) {
                radioGroup = std::make_shared<std::vector<CGroupRadioButton*>>();
            }
            radioGroup->push_back(radio);
            radio->SetGroup(radioGroup);
            widget = radio;
            break;
        }
        case CtlKind::CheckBox: widget = new QCheckBox(caption, parent); break;
        case CtlKind::Slider: {
            auto* slider = new QSlider(Qt::Horizontal, parent);
            slider->setTickPosition(QSlider::NoTicks);
            widget = slider;
            break;
        }
        case CtlKind::ListBox: widget = new CHListBox(parent); break;
        case CtlKind::Edit: widget = new QLineEdit(caption, parent); break;
        case CtlKind::DigitsEdit: {
            auto* edit = new QLineEdit(caption, parent);
            edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
            widget = edit;
            break;
        }
        case CtlKind::MultiEdit: {
            auto* edit = new QPlainTextEdit(caption, parent);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            // Tab and Shift+Tab move on, as in the dialogs of other desktops: a
            // tab character has no place in an address, a data word or an EDID byte.
            edit->setTabChangesFocus(true);
            widget = edit;
            break;
        }
        case CtlKind::Picture: widget = new CProcessingArea(parent); break;
        }

        widget->setFont(font);
        widget->setGeometry(geometry);
        if (rec.id != IDC_STATIC) {
            widget->setObjectName(QStringLiteral("IDC_%1").arg(rec.id));
            byId_[rec.id] = widget;
        }
        widgets_.push_back(widget);
    }

    for (std::size_t i = 0; i < records.size(); ++i) {
        const QString name = AccessibleNameOf(records, i);
        if (!name.isEmpty()) widgets_[i]->setAccessibleName(name);
    }
}

// ---------------------------------------------------------------------------

QScrollArea* PlaceInScrollArea(QWidget* window, QWidget* client, QSize layoutSize) {
    auto* scroll = new QScrollArea(window);
    scroll->setObjectName(QStringLiteral("clientScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(false);
    scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroll->viewport()->setAutoFillBackground(false);
    client->setFixedSize(layoutSize);
    scroll->setWidget(client);
    return scroll;
}

QSize FirstWindowSize(const QWidget* window, QSize size) {
    const QScreen* screen = window->screen();
    if (screen == nullptr) return size;
    const QSize available = screen->availableSize();
    // A scroll bar for one direction takes room from the other: give it that
    // room where the screen has it, so only the direction that must scroll does.
    const int bar = window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, window);
    if (size.height() > available.height()) size.rwidth() += bar;
    if (size.width() > available.width()) size.rheight() += bar;
    return size.boundedTo(available);
}

// ---------------------------------------------------------------------------

CGroupRadioButton::CGroupRadioButton(const QString& text, QWidget* parent) : QRadioButton(text, parent) {
    // Exclusivity is ours (see nextCheckState); Qt's would forbid "none checked".
    // Without it Qt would describe the button as a check box to screen readers.
    setAutoExclusive(false);
    InstallPanelAccessibility();
}

void CGroupRadioButton::SetGroup(std::shared_ptr<std::vector<CGroupRadioButton*>> group) { group_ = std::move(group); }

void CGroupRadioButton::nextCheckState() {
    // A click always leaves this button checked and its siblings cleared.
    if (group_) {
        for (CGroupRadioButton* other : *group_) {
            if (other != this && other->isChecked()) other->setChecked(false);
        }
    }
    setChecked(true);
}

bool CGroupRadioButton::hitButton(const QPoint& pos) const { return rect().contains(pos); }

// ---------------------------------------------------------------------------

CValueLabel::CValueLabel(const QString& text, QWidget* parent) : QLabel(text, parent) { setAlignment(Qt::AlignCenter); }

void CValueLabel::paintEvent(QPaintEvent* event) {
    if (!provider_) {
        QLabel::paintEvent(event);
        return;
    }
    const Colors colors = provider_();
    QPainter painter(this);
    if (colors.background.isValid()) painter.fillRect(rect(), colors.background);
    painter.setPen(colors.text);
    painter.setFont(font());
    painter.drawText(contentsRect(), static_cast<int>(alignment()), text());
}

// ---------------------------------------------------------------------------

namespace {
// Turns QSlider's signals and input events into the classic track-bar
// notification sequence: codes while the user moves it, TB_ENDTRACK once the
// action is over.
class SliderScrollAdapter : public QObject {
public:
    SliderScrollAdapter(QSlider* slider, std::function<void(unsigned)> onScroll)
        : QObject(slider), slider_(slider), onScroll_(std::move(onScroll)) {
        connect(slider, &QAbstractSlider::actionTriggered, this, [this](int action) {
            code_ = CodeFor(action);
            userAction_ = true;
            endPending_ = true;
        });
        connect(slider, &QAbstractSlider::valueChanged, this, [this](int) {
            if (!userAction_) return;  // set from code: nothing to report
            userAction_ = false;
            onScroll_(code_);
        });
        connect(slider, &QAbstractSlider::sliderReleased, this, [this] { End(); });
        slider->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != slider_) return false;
        switch (event->type()) {
        case QEvent::KeyRelease:
            if (!static_cast<QKeyEvent*>(event)->isAutoRepeat() && endPending_) End();
            break;
        case QEvent::MouseButtonRelease:
            // A drag ends through sliderReleased; this is the end of a page click.
            if (!slider_->isSliderDown() && endPending_) End();
            break;
        case QEvent::Wheel:
            // The step is applied after this filter returns; report its end after it.
            QTimer::singleShot(0, this, [this] {
                if (endPending_ && !slider_->isSliderDown()) End();
            });
            break;
        default: break;
        }
        return false;
    }

private:
    static unsigned CodeFor(int action) {
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: return TB_LINEDOWN;
        case QAbstractSlider::SliderSingleStepSub: return TB_LINEUP;
        case QAbstractSlider::SliderPageStepAdd: return TB_PAGEDOWN;
        case QAbstractSlider::SliderPageStepSub: return TB_PAGEUP;
        case QAbstractSlider::SliderToMinimum: return TB_TOP;
        case QAbstractSlider::SliderToMaximum: return TB_BOTTOM;
        default: return TB_THUMBTRACK;
        }
    }

    void End() {
        endPending_ = false;
        userAction_ = false;
        onScroll_(TB_ENDTRACK);
    }

    QSlider* slider_;
    std::function<void(unsigned)> onScroll_;
    unsigned code_ = TB_THUMBTRACK;
    bool userAction_ = false;
    bool endPending_ = false;
};
}  // namespace

void ConnectSliderScroll(QSlider* slider, std::function<void(unsigned code)> onScroll) {
    new SliderScrollAdapter(slider, std::move(onScroll));
}
