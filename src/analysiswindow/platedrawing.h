#pragma once

#include <QWidget>

class Flatness;
class QCustomPlot;
class QPainter;
class QRectF;

// Drawings of a plate's least-squares heights, for the page and the certificate alike.
namespace PlateDrawing {

// From above, north at the top: the lines and each station's height in µm.
void plan(QPainter& painter, const QRectF& area, const Flatness& flatness);
// Each line's profile over the plate's outline in an oblique projection, heights exaggerated.
void isometric(QPainter& painter, const QRectF& area, const Flatness& flatness);
// The heights interpolated onto a colour map (inverse squared distance to the stations).
void colourMap(QCustomPlot* plot, const Flatness& flatness);

} // namespace PlateDrawing

// One of the painted drawings as a widget.
class PlateView : public QWidget {
public:
    enum class Mode { Plan, Isometric };
    PlateView(Mode mode, QWidget* parent) : QWidget(parent), m_mode(mode) {}
    void show(const Flatness* flatness)
    {
        m_flatness = flatness;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Mode m_mode;
    const Flatness* m_flatness = nullptr;
};
