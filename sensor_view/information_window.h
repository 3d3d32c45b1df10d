#ifndef VYR_SENSOR_VIEW_INFORMATION_WINDOW_H
#define VYR_SENSOR_VIEW_INFORMATION_WINDOW_H

#include <QWidget>

#include "vyr_driver.h"

class QFormLayout;
class QLabel;
class QPushButton;

// What the connected sensor says about itself, read on refresh().
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

    kvt::Vyr_driver& driver_;
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
