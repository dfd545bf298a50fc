// A small schematic of the video processing area: the picture frame with the
// processed region (whole picture, centre, left half or right half) filled.
#pragma once

#include <QColor>
#include <QRect>
#include <QWidget>

class CProcessingArea : public QWidget {
    Q_OBJECT
public:
    static constexpr unsigned kAreaAll = 0;
    static constexpr unsigned kAreaCenter = 1;
    static constexpr unsigned kAreaLeft = 2;
    static constexpr unsigned kAreaRight = 3;

    explicit CProcessingArea(QWidget* parent = nullptr);

    // The choice to draw; takes effect at the next repaint. 4 and above draw nothing.
    void SetArea(unsigned int area);
    unsigned int GetArea() const { return area_; }

    // The processed region inside `frame` for `area`, edges exclusive on the
    // right and bottom as in classic rectangle calls (left, top, right, bottom);
    // an empty rectangle for a choice with nothing drawn.
    struct Edges {
        int left, top, right, bottom;
    };
    static bool AreaEdges(const Edges& frame, unsigned int area, Edges& out);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor background_{255, 255, 255};
    QColor areaColor_{138, 0, 139};
    unsigned int area_ = 0;
};
