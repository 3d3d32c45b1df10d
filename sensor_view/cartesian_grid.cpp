#include "cartesian_grid.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double pi = 3.141592653589793;
constexpr double min_gap_px = 60;
// Closer than this the grid would be a wash of lines, and label a thicket.
constexpr double min_line_gap_px = 6;
constexpr double min_label_gap_px = 20;

} // namespace

QPointF sensor_xy(double degrees, double distance)
{
    const double radians = degrees * pi / 180;
    return {distance * std::cos(radians), distance * std::sin(radians)};
}

Cartesian_grid::Cartesian_grid(QPointF sensor, double pixels_per_mm, const QRectF& view,
                               double reach_mm)
    : sensor_(sensor), scale_(pixels_per_mm), view_(view), reach_(reach_mm),
      step_(step_for(pixels_per_mm))
{
}

double Cartesian_grid::step_for(double pixels_per_mm)
{
    for (double decade = 100; decade <= 10000; decade *= 10) {
        for (double factor : {1.0, 2.0, 5.0}) {
            if (decade * factor * pixels_per_mm >= min_gap_px) {
                return std::min(decade * factor, 10000.0);
            }
        }
    }
    return 10000;
}

QPointF Cartesian_grid::screen(double x, double y) const
{
    return {sensor_.x() - y * scale_, sensor_.y() - x * scale_};
}

bool Cartesian_grid::visible_lines(bool along_x, long long& first, long long& last) const
{
    // x grows upwards on screen, y leftwards.
    const double low = along_x ? (sensor_.y() - view_.bottom()) / scale_
                               : (sensor_.x() - view_.right()) / scale_;
    const double high = along_x ? (sensor_.y() - view_.top()) / scale_
                                : (sensor_.x() - view_.left()) / scale_;
    const double from = std::max(low, -reach_), to = std::min(high, reach_);
    if (!(from <= to)) {
        return false;
    }
    first = static_cast<long long>(std::ceil(from / step_));
    last = static_cast<long long>(std::floor(to / step_));
    return first <= last;
}

void Cartesian_grid::paint(QPainter& painter, const QColor& grid, const QColor& axis) const
{
    const double reach_px = reach_ * scale_;
    const double left = std::max(view_.left(), sensor_.x() - reach_px);
    const double right = std::min(view_.right(), sensor_.x() + reach_px);
    const double top = std::max(view_.top(), sensor_.y() - reach_px);
    const double bottom = std::min(view_.bottom(), sensor_.y() + reach_px);
    if (left > right || top > bottom) {
        return;
    }
    long long first, last;
    if (step_ * scale_ >= min_line_gap_px) {
        painter.setPen(QPen(grid, 0, Qt::DotLine));
        if (visible_lines(true, first, last)) {
            for (long long k = first; k <= last; ++k) {
                const double y = screen(k * step_, 0).y();
                painter.drawLine(QPointF(left, y), QPointF(right, y));
            }
        }
        if (visible_lines(false, first, last)) {
            for (long long k = first; k <= last; ++k) {
                const double x = screen(0, k * step_).x();
                painter.drawLine(QPointF(x, top), QPointF(x, bottom));
            }
        }
    }
    painter.setPen(QPen(axis, 0));
    if (sensor_.x() >= left && sensor_.x() <= right) {
        painter.drawLine(QPointF(sensor_.x(), top), QPointF(sensor_.x(), bottom));
    }
    if (sensor_.y() >= top && sensor_.y() <= bottom) {
        painter.drawLine(QPointF(left, sensor_.y()), QPointF(right, sensor_.y()));
    }
}

std::vector<Cartesian_grid::Label> Cartesian_grid::labels(const QFontMetrics& metrics) const
{
    std::vector<Label> out;
    const double half_h = metrics.height() / 2.0 + 2;
    const auto clamp_x = [&](double x, double half_w) {
        return std::clamp(x, view_.left() + half_w + 2, std::max(view_.left() + half_w + 2,
                                                                 view_.right() - half_w - 2));
    };
    const auto clamp_y = [&](double y) {
        return std::clamp(y, view_.top() + half_h, std::max(view_.top() + half_h,
                                                            view_.bottom() - half_h));
    };
    const auto half_width = [&](const QString& text) {
        return metrics.horizontalAdvance(text) / 2.0 + 3;
    };
    // Beside the axes' far ends, off the value labels.
    const QString x_name = "x", y_name = "y";
    out.push_back({x_name, {clamp_x(sensor_.x() + 4 + half_width(x_name), half_width(x_name)),
                            view_.top() + half_h}});
    out.push_back({y_name, {view_.left() + half_width(y_name) + 2, clamp_y(sensor_.y() - half_h)}});

    if (step_ * scale_ < min_label_gap_px) {
        return out;
    }
    const auto metres = [&](long long k) {
        // Whole millimetres, so 0.3 m reads "0.3" and not a binary fraction's tail.
        return QCoreApplication::translate("Polar_view", "%1 m")
            .arg(double(k * static_cast<long long>(step_)) / 1000);
    };
    long long first, last;
    if (visible_lines(true, first, last)) {
        for (long long k = first; k <= last; ++k) {
            if (k != 0) {
                const QString text = metres(k);
                const double w = half_width(text);
                out.push_back({text, {clamp_x(sensor_.x() + 4 + w, w), screen(k * step_, 0).y()}});
            }
        }
    }
    if (visible_lines(false, first, last)) {
        for (long long k = first; k <= last; ++k) {
            if (k != 0) {
                out.push_back({metres(k), {screen(0, k * step_).x(), clamp_y(sensor_.y() + half_h)}});
            }
        }
    }
    return out;
}
