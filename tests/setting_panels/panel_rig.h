#ifndef VYR_TESTS_SETTING_PANELS_PANEL_RIG_H
#define VYR_TESTS_SETTING_PANELS_PANEL_RIG_H

#include <QPushButton>
#include <QTest>

#include "driver_owner.h"
#include "sensor_session.h"
#include "status_recorder.h"

// A shown panel on a driver connected to the simulated sensor, with its reports recorded.
template <class Panel> struct Panel_rig
{
    Sensor_session session;
    Panel panel{session.driver};
    Status_recorder recorder;

    Panel_rig()
    {
        recorder.watch(&panel);
        panel.show();
    }
    // Presses and waits until the exchange has answered.
    void press(const char* button)
    {
        recorder.start();
        QTest::mouseClick(panel.template findChild<QPushButton*>(button), Qt::LeftButton);
        (void)settle(session.driver);
    }
    static bool settle(kvt::Lidar& driver)
    {
        const std::shared_ptr<Driver_owner> owner = Driver_owner::of(driver);
        return QTest::qWaitFor([&] { return !owner->busy(); }, 10000);
    }
};

#endif
