#ifndef VYR_SENSOR_VIEW_POLAR_VIEW_H
#define VYR_SENSOR_VIEW_POLAR_VIEW_H

#include <QPointF>
#include <QString>
#include <QWidget>

#include <array>
#include <utility>
#include <vector>

#include "ruler.h"
#include "scan_csv.h"

// The scan seen from above: the sensor at the centre, straight ahead up, the
// measurable sector shaded, range rings in metres and angle spokes, or an x/y grid.
// Wheel zooms about the cursor, dragging pans; hovering over a point marks it and names
// its step. A ruler is laid by dragging in ruler mode or with Shift held; a click alone
// measures from the sensor. Esc or a right click takes it away.
class Polar_view : public QWidget
{
    Q_OBJECT

public:
    explicit Polar_view(QWidget* parent = nullptr);

    // Angles in degrees (steps from straight ahead, counter-clockwise positive),
    // distances in mm.
    void set_area(double first_deg, double last_deg, long min_distance, long max_distance);
    // Takes the record's contents in exchange for the previous scan's.
    void show_scan(kvt::Scan_record& record);
    const kvt::Scan_record& scan() const { return scan_; }

    // Fits the shown scan's data (all but its farthest 2 %), or the sensor's whole range.
    void fit();
    void fit_range();
    double pixels_per_mm() const { return scale_; }
    long max_distance() const { return max_distance_; }
    // Where a step's echo is drawn, in widget coordinates.
    QPointF screen_point(int index, int echo) const;
    // The readout for the drawn point nearest the position within hover_reach_px; empty
    // when none is that near.
    QString readout_at(QPointF position) const;
    // A metre grid with axes through the sensor in place of rings and spokes.
    void set_cartesian(bool on);
    bool cartesian() const { return cartesian_; }
    // Plain dragging lays the ruler instead of panning.
    void set_ruler_mode(bool on) { ruler_mode_ = on; }
    bool ruler_mode() const { return ruler_mode_; }
    const Ruler& ruler() const { return ruler_; }
    void clear_ruler();
    // Where the ruler's figures went at the last paint.
    QRectF ruler_label_box() const { return ruler_label_box_; }
    static constexpr double hover_reach_px = 8;
    // The legend's place and the intensity scale's ends at the last paint.
    QRect legend_box() const { return legend_box_; }
    unsigned intensity_low() const { return intensity_low_; }
    unsigned intensity_high() const { return intensity_high_; }
    // The ring and angle labels (or grid labels) at the last paint, with where they went.
    const std::vector<std::pair<QString, QRectF>>& labels() const { return labels_; }

    QSize sizeHint() const override { return {560, 480}; }

    // Sixteen intensity colours, then the second and third echo.
    static constexpr int batch_count = 19;

signals:
    void hover_changed(QString readout);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fit_radius(double radius);
    QPointF to_screen(QPointF world) const;
    QPointF to_world(QPointF screen) const;
    bool point_near(QPointF position, int& index, int& echo) const;
    void hover_at(QPointF position);
    // In the sensor's frame: the scan point within reach of the position, else the
    // position itself.
    QPointF snapped(QPointF position) const;
    void ruler_moved();
    void paint_hover(QPainter& painter) const;
    void paint_area(QPainter& painter) const;
    void paint_grid(QPainter& painter) const;
    void paint_points(QPainter& painter) const;
    void paint_legend(QPainter& painter) const;
    void paint_labels(QPainter& painter) const;
    void paint_ruler(QPainter& painter) const;

    kvt::Scan_record scan_;
    double first_deg_ = -135;
    double last_deg_ = 135;
    long min_distance_ = 0;
    long max_distance_ = 5000;
    double scale_ = 0.05; // pixels per mm
    QPointF centre_;      // world point (mm) at the middle of the widget
    bool fitted_ = false; // follow resizes until the user zooms or pans
    double fit_radius_ = 0; // mm around the sensor the last fit showed
    std::vector<long> fit_distances_;
    QPointF drag_from_;
    bool dragging_ = false;
    QPointF hover_position_;
    bool hovering_ = false;
    int hovered_index_ = -1; // the marked point, -1 for none
    int hovered_echo_ = 0;
    bool cartesian_ = false;
    bool ruler_mode_ = false;
    Ruler ruler_;
    bool measuring_ = false; // a ruler drag is under way
    bool measure_moved_ = false;
    QPointF measure_press_;
    QPointF measure_from_; // sensor frame, mm
    mutable QRectF ruler_label_box_;
    // The shown scan's first-echo intensity range and where the legend went, as last painted.
    mutable unsigned intensity_low_ = 0;
    mutable unsigned intensity_high_ = 0;
    mutable QRect legend_box_;
    mutable int legend_corner_ = 0; // kept while no other corner has fewer points under it
    mutable std::vector<std::pair<QString, QRectF>> labels_;
    mutable std::array<std::vector<QPointF>, batch_count> batches_; // reused by every paint
};

#endif
