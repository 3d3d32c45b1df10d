#ifndef VYR_SENSOR_VIEW_CARTESIAN_GRID_H
#define VYR_SENSOR_VIEW_CARTESIAN_GRID_H

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <vector>

class QFontMetrics;
class QPainter;

// The sensor's own frame, in mm: x straight ahead, y to the left, so that angle 0 is +x
// and angles grow counter-clockwise as the steps count them.
QPointF sensor_xy(double degrees, double distance);

// The x/y picture's background: a metre grid around the sensor with axes through it,
// straight ahead up. Only the sensor's place on screen and the scale are needed, since
// the picture is never turned.
class Cartesian_grid
{
public:
    struct Label
    {
        QString text;
        QPointF centre;
    };

    Cartesian_grid(QPointF sensor, double pixels_per_mm, const QRectF& view, double reach_mm);

    // Grid spacing in mm: the first of 0.1, 0.2, 0.5 .. 10 m that keeps lines 60 px apart,
    // the nearest end of that sequence beyond it.
    static double step_for(double pixels_per_mm);
    double step_mm() const { return step_; }

    void paint(QPainter& painter, const QColor& grid, const QColor& axis) const;
    // Axis names first, then the grid values: x along the x axis, y along the y axis,
    // kept at the view's edge when an axis is out of it.
    std::vector<Label> labels(const QFontMetrics& metrics) const;

private:
    // Indexes of the grid lines inside the view and the reach, along x (up) or y (left).
    bool visible_lines(bool along_x, long long& first, long long& last) const;
    QPointF screen(double x, double y) const;

    QPointF sensor_;
    double scale_;
    QRectF view_;
    double reach_;
    double step_;
};

#endif
