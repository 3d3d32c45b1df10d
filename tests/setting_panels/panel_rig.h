#ifndef VYR_TESTS_SETTING_PANELS_PANEL_RIG_H
#define VYR_TESTS_SETTING_PANELS_PANEL_RIG_H

#include <QPushButton>
#include <QTest>

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
    void press(const char* button)
    {
        recorder.start();
        QTest::mouseClick(panel.template findChild<QPushButton*>(button), Qt::LeftButton);
    }
};

#endif
