#include "CProcessingArea.h"

#include <algorithm>

#include <QPainter>
#include <QtMath>

namespace {
// Painting happens in device pixels. A 1-pixel pen on a fractional scale
// (1.5x) straddles device pixels, and the half outside the widget is lost:
// the top and left frame lines vanish. Edges are therefore rounded to device
// pixels and the outline is filled inside the rectangle, at least one device
// pixel wide.
struct DevicePainter {
    QPainter& painter;
    qreal ratio;

    int Map(int logical) const { return qRound(logical * ratio); }
    int LineWidth() const { return std::max(1, qRound(ratio)); }

    // A classic filled rectangle: the outline on the outermost pixels of
    // [left, right) x [top, bottom) and the inside filled.
    void Rectangle(const CProcessingArea::Edges& e, const QColor& pen, const QColor& fill) const {
        const QRect r(QPoint(Map(e.left), Map(e.top)), QPoint(Map(e.right) - 1, Map(e.bottom) - 1));
        if (r.isEmpty()) return;
        painter.fillRect(r, fill);
        const int t = std::min({LineWidth(), r.width(), r.height()});
        painter.fillRect(QRect(r.left(), r.top(), r.width(), t), pen);
        painter.fillRect(QRect(r.left(), r.bottom() - t + 1, r.width(), t), pen);
        painter.fillRect(QRect(r.left(), r.top(), t, r.height()), pen);
        painter.fillRect(QRect(r.right() - t + 1, r.top(), t, r.height()), pen);
    }
};
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
    // The scale the painter really draws at (the screen's, or a target image's).
    const qreal ratio = std::max<qreal>(painter.deviceTransform().m11(), 0.01);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.scale(1 / ratio, 1 / ratio);
    const DevicePainter device{painter, ratio};
    if (area_ == kAreaAll) {
        device.Rectangle(frame, Qt::black, areaColor_);
        return;
    }
    device.Rectangle(frame, Qt::black, background_);
    device.Rectangle(region, areaColor_, areaColor_);
}
