// The log list: a list box whose horizontal scroll range follows its widest
// line, so long log lines can be scrolled sideways. Used by the main window's
// log view and the register console's log list.
//
// Lines are kept as UTF-16 strings and only turned into QStrings when painted,
// so a view holding a million log lines stays small and appending stays cheap.
#pragma once

#include <array>
#include <chrono>
#include <deque>
#include <list>
#include <string>

#include <QAbstractScrollArea>
#include <QString>

class CHListBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int LB_ERR = -1;

    explicit CHListBox(QWidget* parent = nullptr);

    // Appends a line; returns its index.
    int AddString(const QString& text);
    int AddString(std::u16string text);
    // Inserts before `index` (-1 appends); returns the index or LB_ERR when
    // `index` is past the end.
    int InsertString(int index, const QString& text);
    // Removes line `index`; returns the number of lines left or LB_ERR.
    int DeleteString(int index);
    // Removes every line and forgets the widest width (the scroll range itself
    // stays until the next line is added).
    void ResetContent();

    // Appends lines taken from the front of `lines` until it is empty or
    // `deadline` has passed (checked every few hundred lines); returns true when
    // lines are left. Keeps the view responsive while a big backlog drains.
    bool AppendLines(std::list<std::u16string>& lines, std::chrono::steady_clock::time_point deadline);

    int GetCount() const { return static_cast<int>(lines_.size()); }
    QString GetText(int index) const;
    const std::u16string& GetLine(int index) const { return lines_.at(static_cast<std::size_t>(index)); }

    // The horizontal scroll range in pixels, and the widest line seen so far
    // (text width plus three border widths).
    int GetHorizontalExtent() const { return horizontalExtent_; }
    void SetHorizontalExtent(int extent);
    int GetMaxExtent() const { return maxExtent_; }

    // Width of `text` in the list's font plus the margin, as used for the extent.
    int TextExtent(const QString& text) const;

    int GetTopIndex() const;
    void SetTopIndex(int index);
    // Scrolls so that the last line is visible.
    void ScrollToBottom();
    int GetCurSel() const { return curSel_; }
    // Selects line `index` alone (-1: none); it becomes the anchor of a range.
    void SetCurSel(int index);
    int ItemHeight() const { return itemHeight_; }

    // The selected lines: the current one and, after Shift+click or
    // Shift+arrow keys, every line between it and the anchor.
    bool IsSelected(int index) const;
    // Selects lines `first`..`last` (inclusive); the current line is `last`.
    void SelectRange(int first, int last);
    // The selected lines joined by line feeds (empty when none is selected).
    QString SelectedText() const;
    // Puts SelectedText() on the clipboard (Ctrl+C); false when nothing is selected.
    bool CopySelection();

    // Line `index` in viewport coordinates, and the line at viewport height `y`.
    QRect RowRect(int index) const;
    int RowAt(int y) const;
    // Where a menu opened from the keyboard goes: below the current line when
    // it is in view, else the top-left corner of the list (global position).
    QPoint KeyboardMenuPos() const;
    // Changes whenever lines move to other row numbers (insert before the end,
    // delete, clear); appending keeps it.
    quint64 StructureVersion() const { return structureVersion_; }

signals:
    // A right-button press over the list, at `globalPos`; emitted before the
    // press is processed as usual.
    void rightButtonPressed(const QPoint& globalPos);
    // The menu key or Shift+F10 over the list: open its menu at `globalPos`.
    void menuKeyPressed(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int MeasureLine(const std::u16string& text) const;
    void Widen(const std::u16string& text);
    void UpdateFontMetrics();
    void UpdateScrollBars();
    int VisibleLines() const;

    std::deque<std::u16string> lines_;
    int maxExtent_ = 0;
    int horizontalExtent_ = 0;
    int curSel_ = -1;
    int anchor_ = -1;  // the other end of the selected range; curSel_ when one line
    quint64 structureVersion_ = 0;
    int itemHeight_ = 16;
    // Advance widths (fractional, summed before rounding, as the font engine
    // does) of the characters below U+0300, where no shaping is needed, so
    // measuring a log line is a table walk.
    std::array<float, 0x300> advances_{};
};
