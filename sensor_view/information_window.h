#ifndef VYR_SENSOR_VIEW_INFORMATION_WINDOW_H
#define VYR_SENSOR_VIEW_INFORMATION_WINDOW_H

#include <QWidget>

#include <memory>

#include "driver_owner.h"
#include "vyr_driver.h"

class QFormLayout;
class QLabel;
class QPushButton;

namespace kvt {
struct Sensor_information;
}

// What the connected sensor says about itself, read on refresh() through the driver's
// owner; the labels change when the answer comes.
class Information_window : public QWidget
{
    Q_OBJECT

public:
    explicit Information_window(kvt::Vyr_driver& driver, QWidget* parent = nullptr);

    // Whether the driver may be asked now (connected, and no live scan running).
    void set_available(bool available);

public slots:
    void refresh();

private:
    QLabel* add_row(const char* name, const QString& title);
    void show_information(const kvt::Sensor_information& info);
    void update_button();

    kvt::Vyr_driver& driver_;
    std::shared_ptr<Driver_owner> owner_;
    bool available_ = true;
    bool reading_ = false;
    QFormLayout* form_;
    QPushButton* refresh_button_;
    QLabel* product_;
    QLabel* firmware_;
    QLabel* serial_;
    QLabel* status_;
    QLabel* stable_;
    QLabel* state_;
    QLabel* steps_;
    QLabel* distances_;
    QLabel* period_;
    QLabel* steps_per_scan_;
};

#endif
