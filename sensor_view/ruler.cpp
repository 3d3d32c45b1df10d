#include "ruler.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace {

constexpr double pi = 3.141592653589793;

const QColor line_colour(0xff, 0xe0, 0x40);
const QColor backing(0x20, 0x24, 0x28, 0xd0);
const QColor text_colour(0xff, 0xf0, 0xa0);

QString metres(double mm)
{
    return QString::number(mm / 1000, 'f', 3);
}

QString degrees(double value)
{
    // A bearing that rounds to zero reads 0.0, not -0.0.
    if (std::fabs(value) < 0.05) {
        value = 0;
    }
    return QString::number(value, 'f', 1);
}

double bearing_of(double dx, double dy)
{
    if (dx == 0 && dy == 0) {
        return 0;
    }
    const double value = std::atan2(dy, dx) * 180 / pi;
    // Straight behind is 180, never -180: the same direction reads the same.
    return value <= -180 + 1e-9 ? 180 : value;
}

} // namespace

void Ruler::set(QPointF from, QPointF to)
{
    from_ = from;
    to_ = to;
    shown_ = true;
}

double Ruler::length_mm() const
{
    return std::hypot(to_.x() - from_.x(), to_.y() - from_.y());
}

double Ruler::bearing_deg() const
{
    return bearing_of(to_.x() - from_.x(), to_.y() - from_.y());
}

double Ruler::range_mm(QPointF point)
{
    return std::hypot(point.x(), point.y());
}

double Ruler::bearing_deg(QPointF point)
{
    return bearing_of(point.x(), point.y());
}

QString Ruler::readout() const
{
    if (!shown_) {
        return {};
    }
    return tr("ruler %1 m at %2°; ends %3 m at %4° and %5 m at %6° from the sensor")
        .arg(metres(length_mm()), degrees(bearing_deg()), metres(range_mm(from_)),
             degrees(bearing_deg(from_)), metres(range_mm(to_)), degrees(bearing_deg(to_)));
}

QString Ruler::summary() const
{
    return tr("%1 m at %2°").arg(metres(length_mm()), degrees(bearing_deg()));
}

QRectF Ruler::paint(QPainter& painter, QPointF from_px, QPointF to_px, const QRectF& bounds,
                    const QRectF& avoid, const QFontMetrics& metrics) const
{
    if (!shown_) {
        return {};
    }
    painter.setBrush(Qt::NoBrush);
    // A dark edge keeps the line readable over points of any colour.
    painter.setPen(QPen(backing, 5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(from_px, to_px);
    painter.setPen(QPen(line_colour, 1.5));
    painter.drawLine(from_px, to_px);
    painter.drawEllipse(from_px, 4, 4);
    painter.drawEllipse(to_px, 4, 4);

    // Beside the middle, on the side away from the line; else the other side, else the
    // ends. Nowhere that would cover the legend or leave the view.
    const QString text = summary();
    QRectF box(0, 0, metrics.horizontalAdvance(text) + 8, metrics.height() + 4);
    const QPointF middle = (from_px + to_px) / 2;
    QPointF across(-(to_px.y() - from_px.y()), to_px.x() - from_px.x());
    const double across_length = std::hypot(across.x(), across.y());
    across = across_length > 0 ? across / across_length : QPointF(0, -1);
    const double offset = box.height() / 2 + box.width() / 2 * std::fabs(across.x()) + 4;
    const QPointF places[] = {middle + across * offset, middle - across * offset,
                              to_px + QPointF(0, box.height()), from_px + QPointF(0, box.height())};
    for (const QPointF& place : places) {
        box.moveCenter(place);
        if (bounds.contains(box) && !box.intersects(avoid)) {
            painter.fillRect(box, backing);
            painter.setPen(text_colour);
            painter.drawText(box, Qt::AlignCenter, text);
            return box;
        }
    }
    return {};
}
