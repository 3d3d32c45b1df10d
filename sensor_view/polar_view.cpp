#include "polar_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "cartesian_grid.h"

namespace {

constexpr double pi = 3.141592653589793;
constexpr int intensity_levels = Polar_view::batch_count - 3;

const QColor background(0x20, 0x24, 0x28);
const QColor area_fill(0x2e, 0x3a, 0x44);
const QColor grid_pen(0x5a, 0x66, 0x70);
const QColor axis_pen(0x8c, 0x98, 0xa2);
const QColor label_pen(0xa8, 0xb4, 0xbc);
const QColor label_backing(0x20, 0x24, 0x28, 0xd0);
const QColor echo_colours[] = {QColor(0x7c, 0xf0, 0x7c), QColor(0xff, 0xa0, 0x30),
                               QColor(0xf0, 0x50, 0xf0)};

// The picture's own frame: straight ahead is +y, the sensor's left is -x.
QPointF from_sensor_frame(QPointF xy)
{
    return {-xy.y(), xy.x()};
}

QPointF to_sensor_frame(QPointF world)
{
    return {world.y(), -world.x()};
}

// Angles grow counter-clockwise, as seen from above.
QPointF polar(double degrees, double distance)
{
    return from_sensor_frame(sensor_xy(degrees, distance));
}

// Moves shorter than this are a click, not a ruler.
constexpr double click_slack_px = 3;

QColor intensity_colour(int level)
{
    // Deep blue through sky blue to white: no echo's hue is on the way, and weak returns
    // stay visible on the dark background.
    const double t = double(level) / (intensity_levels - 1);
    const auto mix = [](double a, double b, double f) { return int(a + (b - a) * f + 0.5); };
    if (t < 0.5) {
        const double f = t * 2;
        return QColor(mix(0x30, 0x50, f), mix(0x48, 0xb0, f), mix(0xb0, 0xff, f));
    }
    const double f = t * 2 - 1;
    return QColor(mix(0x50, 0xff, f), mix(0xb0, 0xff, f), 0xff);
}

// Ring spacing in mm: the first of 1-2-5 steps that keeps rings apart on screen.
double ring_spacing(double pixels_per_mm)
{
    for (double decade = 10; decade < 1e7; decade *= 10) {
        for (double factor : {1.0, 2.0, 5.0}) {
            if (decade * factor * pixels_per_mm >= 60) {
                return decade * factor;
            }
        }
    }
    return 1e7;
}

// The part of the ray from `from` along `direction` (0 <= t <= 1) inside `box`: the
// largest t inside, or -1 when the ray misses it.
double last_inside(QPointF from, QPointF direction, const QRectF& box)
{
    double low = 0, high = 1;
    const double p[] = {-direction.x(), direction.x(), -direction.y(), direction.y()};
    const double q[] = {from.x() - box.left(), box.right() - from.x(), from.y() - box.top(),
                        box.bottom() - from.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) {
                return -1;
            }
        } else if (p[i] < 0) {
            low = std::max(low, q[i] / p[i]);
        } else {
            high = std::min(high, q[i] / p[i]);
        }
    }
    return low <= high ? high : -1;
}

} // namespace

Polar_view::Polar_view(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus); // Esc clears the ruler
    setMinimumSize(240, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Polar_view::set_area(double first_deg, double last_deg, long min_distance, long max_distance)
{
    first_deg_ = first_deg;
    last_deg_ = last_deg;
    min_distance_ = min_distance;
    max_distance_ = std::max(1L, max_distance);
    fit_range();
}

void Polar_view::show_scan(kvt::Scan_record& record)
{
    std::swap(scan_, record);
    // The marker and readout follow the new scan under a cursor that stays put.
    if (hovering_) {
        hover_at(hover_position_);
    }
    update();
}

void Polar_view::fit()
{
    // Most of what was measured, not the stray far echo: indoors the data is a small part
    // of the sensor's range.
    std::vector<long>& valid = fit_distances_;
    valid.clear();
    for (const long d : scan_.distance) {
        if (d > 0 && d >= min_distance_) {
            valid.push_back(d);
        }
    }
    if (valid.empty()) {
        fit_range();
        return;
    }
    const auto at = valid.begin() + static_cast<long>((valid.size() - 1) * 98 / 100);
    std::nth_element(valid.begin(), at, valid.end());
    fit_radius(std::max(100.0, *at * 1.1));
}

void Polar_view::fit_range()
{
    fit_radius(max_distance_ * 1.1);
}

void Polar_view::fit_radius(double radius)
{
    // The box around the sensor and the measurable sector's arc, with room for
    // the angle labels beyond it.
    double left = 0, right = 0, bottom = 0, top = 0;
    const auto include = [&](QPointF p) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        bottom = std::min(bottom, p.y());
        top = std::max(top, p.y());
    };
    const int pieces = 72;
    for (int i = 0; i <= pieces; ++i) {
        include(polar(first_deg_ + (last_deg_ - first_deg_) * i / pieces, radius));
    }
    const double margin = 24;
    const double box_w = std::max(1.0, right - left), box_h = std::max(1.0, top - bottom);
    scale_ =
        std::max(1e-6, std::min((width() - 2 * margin) / box_w, (height() - 2 * margin) / box_h));
    centre_ = {(left + right) / 2, (bottom + top) / 2};
    fitted_ = true;
    fit_radius_ = radius;
    update();
}

QPointF Polar_view::to_screen(QPointF world) const
{
    return {width() / 2.0 + (world.x() - centre_.x()) * scale_,
            height() / 2.0 - (world.y() - centre_.y()) * scale_};
}

QPointF Polar_view::to_world(QPointF screen) const
{
    return {centre_.x() + (screen.x() - width() / 2.0) / scale_,
            centre_.y() - (screen.y() - height() / 2.0) / scale_};
}

QPointF Polar_view::screen_point(int index, int echo) const
{
    const size_t slot = static_cast<size_t>(index) * scan_.echo_slots() + echo;
    return to_screen(polar(scan_.angle_deg.at(index), scan_.distance.at(slot)));
}

bool Polar_view::point_near(QPointF position, int& index, int& echo) const
{
    // Every drawn point is looked at: zoomed in near the sensor, neighbours on screen can
    // be many steps apart. A few thousand points cost far less than a frame.
    const int per_index = scan_.echo_slots();
    const QPointF origin = to_screen({0, 0});
    double best = hover_reach_px * hover_reach_px;
    index = -1;
    for (int i = 0; i < scan_.size(); ++i) {
        const double radians = scan_.angle_deg[i] * pi / 180;
        const double dx = -std::sin(radians) * scale_, dy = -std::cos(radians) * scale_;
        for (int e = 0; e < per_index; ++e) {
            const long d = scan_.distance[static_cast<size_t>(i) * per_index + e];
            if (d < min_distance_ || d <= 0) {
                continue;
            }
            const double x = origin.x() + d * dx - position.x();
            const double y = origin.y() + d * dy - position.y();
            if (x * x + y * y <= best) {
                best = x * x + y * y;
                index = i;
                echo = e;
            }
        }
    }
    return index >= 0;
}

QString Polar_view::readout_at(QPointF position) const
{
    int index, echo;
    if (!point_near(position, index, echo)) {
        return {};
    }
    const int per_index = scan_.echo_slots();
    const size_t slot = static_cast<size_t>(index) * per_index + echo;
    QStringList parts{tr("angle %1°").arg(scan_.angle_deg[index], 0, 'f', 3),
                      tr("step %1").arg(scan_.step[index]), tr("index %1").arg(index)};
    if (per_index > 1) {
        parts << tr("echo %1").arg(echo);
    }
    parts << tr("distance %1 mm").arg(scan_.distance[slot]);
    if (!scan_.intensity.empty()) {
        parts << tr("intensity %1").arg(scan_.intensity[slot]);
    }
    return parts.join(", ");
}

void Polar_view::hover_at(QPointF position)
{
    hover_position_ = position;
    hovering_ = true;
    int index = -1, echo = 0;
    point_near(position, index, echo);
    if (index != hovered_index_ || echo != hovered_echo_) {
        hovered_index_ = index;
        hovered_echo_ = echo;
        update();
    }
    // While a ruler is laid, and over empty space, the line tells the ruler's figures.
    const QString readout = measuring_ ? QString() : readout_at(position);
    emit hover_changed(readout.isEmpty() ? ruler_.readout() : readout);
}

QPointF Polar_view::snapped(QPointF position) const
{
    int index, echo;
    if (point_near(position, index, echo)) {
        const size_t slot = static_cast<size_t>(index) * scan_.echo_slots() + echo;
        return sensor_xy(scan_.angle_deg[index], scan_.distance[slot]);
    }
    return to_sensor_frame(to_world(position));
}

void Polar_view::set_cartesian(bool on)
{
    cartesian_ = on;
    update();
}

void Polar_view::clear_ruler()
{
    measuring_ = false;
    if (ruler_.shown()) {
        ruler_.clear();
        ruler_moved();
    }
}

void Polar_view::ruler_moved()
{
    update();
    emit hover_changed(ruler_.shown() ? ruler_.readout()
                       : hovering_   ? readout_at(hover_position_)
                                     : QString());
}

void Polar_view::paint_hover(QPainter& painter) const
{
    if (hovered_index_ < 0 || hovered_index_ >= scan_.size()) {
        return;
    }
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(screen_point(hovered_index_, hovered_echo_), 6, 6);
}

void Polar_view::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), background);
    paint_area(painter);
    if (cartesian_) {
        Cartesian_grid(to_screen({0, 0}), scale_, rect(), max_distance_)
            .paint(painter, grid_pen, axis_pen);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(to_screen({0, 0}), 3, 3);
        painter.setBrush(Qt::NoBrush);
    } else {
        paint_grid(painter);
    }
    paint_points(painter);
    paint_hover(painter);
    paint_legend(painter);
    paint_labels(painter);
    paint_ruler(painter);
}

void Polar_view::paint_ruler(QPainter& painter) const
{
    ruler_label_box_ = QRectF();
    if (ruler_.shown()) {
        ruler_label_box_ = ruler_.paint(painter, to_screen(from_sensor_frame(ruler_.from())),
                                        to_screen(from_sensor_frame(ruler_.to())), rect(),
                                        legend_box_, fontMetrics());
    }
}

void Polar_view::paint_area(QPainter& painter) const
{
    const QPointF sensor = to_screen({0, 0});
    const double radius = max_distance_ * scale_;
    const QRectF circle(sensor.x() - radius, sensor.y() - radius, 2 * radius, 2 * radius);
    // Qt counts from three o'clock; straight ahead is twelve.
    const int start = qRound((90 + first_deg_) * 16);
    const int span = qRound((last_deg_ - first_deg_) * 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(area_fill);
    painter.drawPie(circle, start, span);
    painter.setBrush(QBrush(grid_pen, Qt::BDiagPattern));
    painter.drawPie(circle, start + span, 360 * 16 - span);
    painter.setBrush(Qt::NoBrush);
}

void Polar_view::paint_grid(QPainter& painter) const
{
    const QPointF sensor = to_screen({0, 0});
    const double spacing = ring_spacing(scale_);
    painter.setPen(QPen(grid_pen, 0));
    for (double r = spacing; r <= max_distance_; r += spacing) {
        painter.drawEllipse(sensor, r * scale_, r * scale_);
    }
    for (int degrees = -180; degrees < 180; degrees += 30) {
        painter.drawLine(sensor, to_screen(polar(degrees, max_distance_)));
    }
    painter.setBrush(Qt::white);
    painter.drawEllipse(sensor, 3, 3);
    painter.setBrush(Qt::NoBrush);
}

void Polar_view::paint_points(QPainter& painter) const
{
    const int per_index = scan_.echo_slots();
    const bool intensity = !scan_.intensity.empty();
    // The colours span the shown scan's own range of first-echo intensities.
    intensity_low_ = 0;
    intensity_high_ = 0;
    if (intensity && !scan_.intensity.empty()) {
        intensity_low_ = scan_.intensity[0];
        intensity_high_ = scan_.intensity[0];
        for (size_t slot = 0; slot < scan_.intensity.size(); slot += per_index) {
            intensity_low_ = std::min<unsigned>(intensity_low_, scan_.intensity[slot]);
            intensity_high_ = std::max<unsigned>(intensity_high_, scan_.intensity[slot]);
        }
    }
    const unsigned low = intensity_low_;
    const double per_level = double(intensity_levels) / (double(intensity_high_ - low) + 1);

    // One batch per colour: points of a colour go to the painter in one call.
    std::array<std::vector<QPointF>, batch_count>& batches = batches_;
    for (std::vector<QPointF>& batch : batches) {
        batch.clear();
    }
    const QPointF origin = to_screen({0, 0});
    for (int i = 0; i < scan_.size(); ++i) {
        const double radians = scan_.angle_deg[i] * pi / 180;
        const double dx = -std::sin(radians) * scale_, dy = -std::cos(radians) * scale_;
        for (int echo = 0; echo < per_index; ++echo) {
            const size_t slot = static_cast<size_t>(i) * per_index + echo;
            const long d = scan_.distance[slot];
            if (d < min_distance_ || d <= 0) {
                continue;
            }
            size_t batch = echo == 0 ? 0 : intensity_levels + echo;
            if (echo == 0 && intensity) {
                batch = std::min<size_t>(intensity_levels - 1,
                                         size_t((scan_.intensity[slot] - low) * per_level));
            }
            batches[batch].emplace_back(origin.x() + d * dx, origin.y() + d * dy);
        }
    }
    for (size_t b = 0; b < batches.size(); ++b) {
        if (batches[b].empty()) {
            continue;
        }
        QColor colour = echo_colours[0];
        if (b >= intensity_levels) {
            colour = echo_colours[b - intensity_levels];
        } else if (intensity) {
            colour = intensity_colour(static_cast<int>(b));
        }
        painter.setPen(QPen(colour, 3, Qt::SolidLine, Qt::SquareCap));
        painter.drawPoints(batches[b].data(), static_cast<int>(batches[b].size()));
    }
}

void Polar_view::paint_legend(QPainter& painter) const
{
    const bool intensity = !scan_.intensity.empty();
    QStringList names;
    QList<QColor> colours;
    if (intensity) {
        names << tr("first echo: colour by intensity, low to high");
        colours << QColor();
    } else {
        names << tr("first echo");
        colours << echo_colours[0];
    }
    if (scan_.echo_slots() > 1) {
        names << tr("second echo") << tr("third echo");
        colours << echo_colours[1] << echo_colours[2];
    }
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height() + 2;
    const QString low = QString::number(intensity_low_), high = QString::number(intensity_high_);
    const int ramp_width = 80;
    int text_width = intensity ? metrics.horizontalAdvance(low) + ramp_width +
                                     metrics.horizontalAdvance(high) + 8 - 18
                               : 0;
    for (const QString& name : names) {
        text_width = std::max(text_width, metrics.horizontalAdvance(name));
    }
    const int rows = int(names.size()) + (intensity ? 1 : 0);
    const QSize size(18 + text_width + 8, rows * line + 8);

    // The corner with the fewest points under it; the one it is in while it ties, so that
    // the legend does not hop between free corners from scan to scan.
    const int edge = 6;
    const QRect corners[] = {
        QRect(QPoint(edge, edge), size),
        QRect(QPoint(width() - edge - size.width(), edge), size),
        QRect(QPoint(edge, height() - edge - size.height()), size),
        QRect(QPoint(width() - edge - size.width(), height() - edge - size.height()), size)};
    long covered[4] = {};
    for (int corner = 0; corner < 4; ++corner) {
        const QRectF area(corners[corner]);
        for (const std::vector<QPointF>& batch : batches_) {
            for (const QPointF& p : batch) {
                covered[corner] += area.contains(p);
            }
        }
    }
    for (int corner = 0; corner < 4; ++corner) {
        if (covered[corner] < covered[legend_corner_]) {
            legend_corner_ = corner;
        }
    }
    const QRect box = corners[legend_corner_];
    legend_box_ = box;
    painter.fillRect(box, label_backing);

    int y = box.top() + 4;
    for (int i = 0; i < names.size(); ++i) {
        const QRect swatch(box.left() + 4, y + 2, 12, line - 4);
        if (i > 0 || !intensity) {
            painter.fillRect(swatch, colours[i]);
        }
        painter.setPen(label_pen);
        painter.drawText(QPoint(box.left() + 22, y + line - 6), names[i]);
        y += line;
        if (i == 0 && intensity) {
            // The scale, with the values its ends stand for.
            const int low_width = metrics.horizontalAdvance(low);
            const QRect ramp_box(box.left() + 22 + low_width + 4, y + 2, ramp_width, line - 4);
            QLinearGradient ramp(ramp_box.topLeft(), ramp_box.topRight());
            for (int level = 0; level < intensity_levels; level += intensity_levels - 1) {
                ramp.setColorAt(double(level) / (intensity_levels - 1), intensity_colour(level));
            }
            ramp.setColorAt(0.5, intensity_colour(intensity_levels / 2));
            painter.fillRect(ramp_box, ramp);
            painter.drawText(QPoint(box.left() + 22, y + line - 6), low);
            painter.drawText(QPoint(ramp_box.right() + 5, y + line - 6), high);
            y += line;
        }
    }
}

void Polar_view::paint_labels(QPainter& painter) const
{
    // Drawn over the data on a backing of their own, never under the legend.
    const QFontMetrics metrics = fontMetrics();
    const auto label = [&](QPointF centre, const QString& text) {
        QRectF box(0, 0, metrics.horizontalAdvance(text) + 6, metrics.height() + 2);
        box.moveCenter(centre);
        if (box.intersects(legend_box_) || !QRectF(rect()).contains(box)) {
            return;
        }
        for (const auto& placed : labels_) {
            if (placed.second.intersects(box)) {
                return;
            }
        }
        painter.fillRect(box, label_backing);
        painter.drawText(box, Qt::AlignCenter, text);
        labels_.push_back({text, box});
    };
    labels_.clear();
    painter.setPen(label_pen);
    if (cartesian_) {
        const Cartesian_grid grid(to_screen({0, 0}), scale_, rect(), max_distance_);
        for (const Cartesian_grid::Label& grid_label : grid.labels(metrics)) {
            label(grid_label.centre, grid_label.text);
        }
        return;
    }
    // Ring labels between the 0° and -30° spokes, off the angle labels.
    const double spacing = ring_spacing(scale_);
    for (double r = spacing; r <= max_distance_; r += spacing) {
        label(to_screen(polar(-15, r)), tr("%1 m").arg(r / 1000));
    }
    // Angle labels just beyond the range, or at the view's edge when zoomed in.
    const QPointF sensor = to_screen({0, 0});
    const double half_h = metrics.height() / 2.0 + 2;
    const double half_w = metrics.horizontalAdvance("-150°") / 2.0 + 4;
    const QRectF inside = QRectF(rect()).adjusted(half_w, half_h, -half_w, -half_h);
    for (int degrees = -150; degrees <= 180; degrees += 30) {
        const QPointF far = to_screen(polar(degrees, max_distance_ * 1.06));
        const double t = last_inside(sensor, far - sensor, inside);
        if (t > 0) {
            label(sensor + (far - sensor) * t, QString("%1°").arg(degrees));
        }
    }
}

void Polar_view::resizeEvent(QResizeEvent*)
{
    if (fitted_) {
        fit_radius(fit_radius_);
    }
}

void Polar_view::wheelEvent(QWheelEvent* event)
{
    const QPointF at = event->position();
    const QPointF anchor = to_world(at);
    scale_ = std::clamp(scale_ * std::pow(1.0015, event->angleDelta().y()), 1e-5, 50.0);
    // Keep the world point under the cursor where it is.
    centre_ = {anchor.x() - (at.x() - width() / 2.0) / scale_,
               anchor.y() + (at.y() - height() / 2.0) / scale_};
    fitted_ = false;
    update();
    event->accept();
}

void Polar_view::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        clear_ruler();
    } else if (event->button() == Qt::LeftButton) {
        if (ruler_mode_ || (event->modifiers() & Qt::ShiftModifier)) {
            measuring_ = true;
            measure_moved_ = false;
            measure_press_ = event->position();
            measure_from_ = snapped(event->position());
            setFocus(Qt::MouseFocusReason); // for Esc
        } else {
            dragging_ = true;
            drag_from_ = event->position();
        }
    }
}

void Polar_view::mouseMoveEvent(QMouseEvent* event)
{
    if (measuring_) {
        const QPointF moved = event->position() - measure_press_;
        measure_moved_ = measure_moved_ || std::hypot(moved.x(), moved.y()) >= click_slack_px;
        if (measure_moved_) {
            ruler_.set(measure_from_, snapped(event->position()));
            update();
        }
    } else if (dragging_) {
        const QPointF moved = event->position() - drag_from_;
        drag_from_ = event->position();
        centre_ += QPointF(-moved.x() / scale_, moved.y() / scale_);
        fitted_ = false;
        update();
    }
    hover_at(event->position());
}

void Polar_view::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    dragging_ = false;
    if (measuring_) {
        measuring_ = false;
        ruler_.set(measure_moved_ ? measure_from_ : QPointF(0, 0), snapped(event->position()));
        ruler_moved();
    }
}

void Polar_view::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && (ruler_.shown() || measuring_)) {
        clear_ruler();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Polar_view::leaveEvent(QEvent*)
{
    hovering_ = false;
    if (hovered_index_ >= 0) {
        hovered_index_ = -1;
        update();
    }
    // The ruler's figures stay readable while the mouse is on the buttons.
    emit hover_changed(ruler_.readout());
}
