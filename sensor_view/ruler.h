#ifndef VYR_SENSOR_VIEW_RULER_H
#define VYR_SENSOR_VIEW_RULER_H

#include <QCoreApplication>
#include <QPointF>
#include <QRectF>
#include <QString>

class QFontMetrics;
class QPainter;

// A distance laid on the picture. Its ends are held in the sensor's frame (mm, x straight
// ahead, y to the left), so it keeps its place in metres through zoom, pan and new scans.
class Ruler
{
    Q_DECLARE_TR_FUNCTIONS(Ruler)

public:
    void set(QPointF from, QPointF to);
    void clear() { shown_ = false; }
    bool shown() const { return shown_; }
    QPointF from() const { return from_; }
    QPointF to() const { return to_; }

    double length_mm() const;
    // From `from` to `to`, counted as the angles count: 0 straight ahead, left positive.
    double bearing_deg() const;
    static double range_mm(QPointF point);
    static double bearing_deg(QPointF point);

    // Length and bearing with each end's range and bearing from the sensor; empty when
    // no ruler is shown.
    QString readout() const;
    // Length and bearing, as the picture shows them.
    QString summary() const;

    // The segment between the ends' places on screen, then its summary on a backing
    // inside `bounds` and off `avoid`; returns where the summary went (empty if nowhere).
    QRectF paint(QPainter& painter, QPointF from_px, QPointF to_px, const QRectF& bounds,
                 const QRectF& avoid, const QFontMetrics& metrics) const;

private:
    QPointF from_;
    QPointF to_;
    bool shown_ = false;
};

#endif
