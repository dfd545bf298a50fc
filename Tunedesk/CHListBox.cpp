#include "CHListBox.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QtMath>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "PanelAccessible.h"

namespace {
// Width of a window border in pixels; the extent gets three of them as margin.
constexpr int kBorderWidth = 1;
constexpr int kMargin = 3 * kBorderWidth;
constexpr int kTextIndent = 2;
}  // namespace

CHListBox::CHListBox(QWidget* parent) : QAbstractScrollArea(parent) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    InstallPanelAccessibility();
    UpdateFontMetrics();
    UpdateScrollBars();
}

void CHListBox::UpdateFontMetrics() {
    // Measured widths must match painted widths: no kerning, as classic list boxes.
    QFont f = font();
    if (f.kerning()) {
        f.setKerning(false);
        setFont(f);  // re-enters through changeEvent
        return;
    }
    const QFontMetricsF fm(f);
    itemHeight_ = std::max(1, qCeil(fm.height()));
    for (std::size_t c = 0; c < advances_.size(); ++c) {
        advances_[c] = static_cast<float>(std::max(0.0, fm.horizontalAdvance(QChar(static_cast<char16_t>(c)))));
    }
}

int CHListBox::MeasureLine(const std::u16string& text) const {
    float width = 0;
    for (const char16_t c : text) {
        if (c >= advances_.size()) {
            // Scripts that need shaping, surrogate pairs: let the font engine measure.
            const QString s =
                QString::fromRawData(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
            return QFontMetrics(font()).horizontalAdvance(s);
        }
        width += advances_[c];
    }
    return qRound(width);
}

int CHListBox::TextExtent(const QString& text) const { return MeasureLine(text.toStdU16String()) + kMargin; }

void CHListBox::Widen(const std::u16string& text) {
    const int extent = MeasureLine(text) + kMargin;
    if (extent > maxExtent_) {
        maxExtent_ = extent;
        SetHorizontalExtent(extent);
    }
}

void CHListBox::SetHorizontalExtent(int extent) {
    horizontalExtent_ = std::max(0, extent);
    UpdateScrollBars();
}

int CHListBox::AddString(const QString& text) { return AddString(text.toStdU16String()); }

int CHListBox::AddString(std::u16string text) {
    lines_.push_back(std::move(text));
    Widen(lines_.back());
    UpdateScrollBars();
    viewport()->update();
    return GetCount() - 1;
}

int CHListBox::InsertString(int index, const QString& text) {
    if (index < -1 || index > GetCount()) return LB_ERR;
    if (index == -1) return AddString(text);
    const bool shifts = index < GetCount();
    lines_.insert(lines_.begin() + index, text.toStdU16String());
    Widen(lines_[static_cast<std::size_t>(index)]);
    if (curSel_ >= index) ++curSel_;
    if (anchor_ >= index) ++anchor_;
    UpdateScrollBars();
    viewport()->update();
    if (shifts) {
        ++structureVersion_;
        NotifyListReset(this);
    }
    return index;
}

int CHListBox::DeleteString(int index) {
    if (index < 0 || index >= GetCount()) return LB_ERR;
    lines_.erase(lines_.begin() + index);
    if (curSel_ == index || anchor_ == index) {
        curSel_ = -1;
        anchor_ = -1;
    } else {
        if (curSel_ > index) --curSel_;
        if (anchor_ > index) --anchor_;
    }
    int widest = 0;
    for (const std::u16string& line : lines_) widest = std::max(widest, MeasureLine(line) + kMargin);
    maxExtent_ = widest;
    SetHorizontalExtent(widest);  // also when it shrank
    viewport()->update();
    ++structureVersion_;
    NotifyListReset(this);
    return GetCount();
}

void CHListBox::ResetContent() {
    lines_.clear();
    lines_.shrink_to_fit();
    curSel_ = -1;
    anchor_ = -1;
    maxExtent_ = 0;  // the scroll range stays until the next line sets one
    verticalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
    ++structureVersion_;
    NotifyListReset(this);
}

bool CHListBox::AppendLines(std::list<std::u16string>& lines, std::chrono::steady_clock::time_point deadline) {
    const int widestBefore = maxExtent_;
    int widest = maxExtent_;
    unsigned sinceCheck = 0;
    while (!lines.empty()) {
        std::u16string& line = lines.front();
        widest = std::max(widest, MeasureLine(line) + kMargin);
        lines_.push_back(std::move(line));
        lines.pop_front();
        if (++sinceCheck == 512) {
            sinceCheck = 0;
            if (std::chrono::steady_clock::now() >= deadline) break;
        }
    }
    if (widest > widestBefore) {
        maxExtent_ = widest;
        horizontalExtent_ = widest;
    }
    UpdateScrollBars();
    viewport()->update();
    return !lines.empty();
}

QString CHListBox::GetText(int index) const {
    if (index < 0 || index >= GetCount()) return QString();
    return QString::fromStdU16String(lines_[static_cast<std::size_t>(index)]);
}

int CHListBox::VisibleLines() const { return std::max(1, viewport()->height() / itemHeight_); }

void CHListBox::UpdateScrollBars() {
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, GetCount() - VisibleLines()));
    v->setPageStep(VisibleLines());
    v->setSingleStep(1);
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, horizontalExtent_ - viewport()->width()));
    h->setPageStep(std::max(1, viewport()->width()));
    h->setSingleStep(std::max(1, static_cast<int>(advances_[u'x'])));
}

int CHListBox::GetTopIndex() const { return verticalScrollBar()->value(); }

void CHListBox::SetTopIndex(int index) { verticalScrollBar()->setValue(index); }

void CHListBox::ScrollToBottom() { verticalScrollBar()->setValue(verticalScrollBar()->maximum()); }

void CHListBox::SetCurSel(int index) {
    curSel_ = (index >= 0 && index < GetCount()) ? index : -1;
    anchor_ = curSel_;
    viewport()->update();
    NotifyListSelection(this);
}

void CHListBox::SelectRange(int first, int last) {
    if (first < 0 || last < 0 || first >= GetCount() || last >= GetCount()) {
        SetCurSel(-1);
        return;
    }
    anchor_ = first;
    curSel_ = last;
    viewport()->update();
    NotifyListSelection(this);
}

bool CHListBox::IsSelected(int index) const {
    if (curSel_ < 0 || index < 0) return false;
    const int anchor = anchor_ >= 0 ? anchor_ : curSel_;
    return index >= std::min(anchor, curSel_) && index <= std::max(anchor, curSel_);
}

QString CHListBox::SelectedText() const {
    if (curSel_ < 0) return QString();
    const int anchor = anchor_ >= 0 ? anchor_ : curSel_;
    QStringList lines;
    for (int i = std::min(anchor, curSel_); i <= std::max(anchor, curSel_); ++i) lines << GetText(i);
    return lines.join(QLatin1Char('\n'));
}

bool CHListBox::CopySelection() {
    if (curSel_ < 0) return false;
    QApplication::clipboard()->setText(SelectedText());
    return true;
}

QRect CHListBox::RowRect(int index) const {
    return QRect(0, (index - GetTopIndex()) * itemHeight_, viewport()->width(), itemHeight_);
}

int CHListBox::RowAt(int y) const {
    const int row = GetTopIndex() + y / itemHeight_;
    return y >= 0 && row < GetCount() ? row : -1;
}

QPoint CHListBox::KeyboardMenuPos() const {
    const QRect row = RowRect(curSel_);
    if (curSel_ >= 0 && viewport()->rect().intersects(row)) {
        return viewport()->mapToGlobal(QPoint(row.left() + kTextIndent, row.bottom()));
    }
    return viewport()->mapToGlobal(QPoint(0, 0));
}

void CHListBox::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setFont(font());
    const int top = GetTopIndex();
    const int x = kTextIndent - horizontalScrollBar()->value();
    const int width = std::max(horizontalExtent_, viewport()->width()) + kTextIndent;
    const int last = std::min(GetCount(), top + VisibleLines() + 1);
    for (int i = top, y = 0; i < last; ++i, y += itemHeight_) {
        const QRect row(0, y, viewport()->width(), itemHeight_);
        if (IsSelected(i)) {
            painter.fillRect(row, palette().brush(QPalette::Highlight));
            painter.setPen(palette().color(QPalette::HighlightedText));
        } else {
            painter.setPen(palette().color(QPalette::Text));
        }
        const std::u16string& line = lines_[static_cast<std::size_t>(i)];
        // Tabs and line ends are shown as the classic list box shows them: as spaces.
        QString text = QString::fromStdU16String(line);
        text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        painter.drawText(QRect(x, y, width, itemHeight_), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
}

void CHListBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CHListBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit rightButtonPressed(event->globalPosition().toPoint());
    }
    if (event->button() == Qt::LeftButton) {
        const int row = RowAt(static_cast<int>(event->position().y()));
        if ((event->modifiers() & Qt::ShiftModifier) && row >= 0 && curSel_ >= 0) {
            SelectRange(anchor_ >= 0 ? anchor_ : curSel_, row);
        } else {
            SetCurSel(row);
        }
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void CHListBox::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier) {
        // The keyboard's way to the menu, beside the menu key (contextMenuEvent).
        emit menuKeyPressed(KeyboardMenuPos());
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        if (GetCount() > 0) SelectRange(0, GetCount() - 1);
        event->accept();
        return;
    }
    int sel = curSel_;
    switch (event->key()) {
    case Qt::Key_Up: sel = std::max(0, sel - 1); break;
    case Qt::Key_Down: sel = std::min(GetCount() - 1, sel + 1); break;
    case Qt::Key_PageUp: sel = std::max(0, sel - VisibleLines()); break;
    case Qt::Key_PageDown: sel = std::min(GetCount() - 1, sel + VisibleLines()); break;
    case Qt::Key_Home: sel = GetCount() > 0 ? 0 : -1; break;
    case Qt::Key_End: sel = GetCount() - 1; break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    if ((mods & Qt::ShiftModifier) && curSel_ >= 0 && sel >= 0) {
        SelectRange(anchor_ >= 0 ? anchor_ : curSel_, sel);
    } else {
        SetCurSel(sel);
    }
    if (sel >= 0) {
        if (sel < GetTopIndex())
            SetTopIndex(sel);
        else if (sel >= GetTopIndex() + VisibleLines())
            SetTopIndex(sel - VisibleLines() + 1);
    }
    event->accept();
}

void CHListBox::contextMenuEvent(QContextMenuEvent* event) {
    // The menu key arrives here (the platform turns it into a context-menu
    // request); a right click is handled at the press, as the log view does.
    if (event->reason() == QContextMenuEvent::Keyboard) {
        emit menuKeyPressed(KeyboardMenuPos());
        event->accept();
        return;
    }
    QAbstractScrollArea::contextMenuEvent(event);
}

void CHListBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        UpdateFontMetrics();
        UpdateScrollBars();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(event);
}
