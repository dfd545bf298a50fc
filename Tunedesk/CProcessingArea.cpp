#include "CProcessingArea.h"

#include <QPainter>

namespace {
// Draws a classic filled rectangle: the outline on the outermost pixels of
// [left, right) x [top, bottom) and the inside filled.
void DrawRectangle(QPainter& painter, const CProcessingArea::Edges& e, const QColor& pen, const QColor& fill) {
    const int w = e.right - e.left;
    const int h = e.bottom - e.top;
    if (w <= 0 || h <= 0) return;
    painter.fillRect(QRect(e.left, e.top, w, h), fill);
    painter.setPen(QPen(pen, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(e.left, e.top, w - 1, h - 1));
}
}  // namespace

CProcessingArea::CProcessingArea(QWidget* parent) : QWidget(parent) {}

void CProcessingArea::SetArea(unsigned int area) {
    area_ = area;
    update();
}

bool CProcessingArea::AreaEdges(const Edges& r, unsigned int area, Edges& out) {
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    switch (area) {
    case kAreaAll: out = r; return true;
    case kAreaCenter:
        out = {r.left + width / 4, r.top + height / 4, r.right - width / 4, r.bottom - height / 4};
        return true;
    case kAreaLeft: out = {r.left, r.top, r.right - width / 2, r.bottom}; return true;
    case kAreaRight: out = {r.left + width / 2, r.top, r.right, r.bottom}; return true;
    default: return false;
    }
}

void CProcessingArea::paintEvent(QPaintEvent*) {
    const Edges frame{0, 0, width(), height()};
    Edges region{};
    if (!AreaEdges(frame, area_, region)) return;  // unknown choice: an empty item
    QPainter painter(this);
    if (area_ == kAreaAll) {
        DrawRectangle(painter, frame, Qt::black, areaColor_);
        return;
    }
    DrawRectangle(painter, frame, Qt::black, background_);
    DrawRectangle(painter, region, areaColor_, areaColor_);
}
