#include "phase_actions.h"

#include "fed_sensor.h"
#include "phase_setter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QStringList>
#include <QThread>

namespace {

// The panel reports its head at once and the outcome once the driver's owner has run the
// exchange.
void wait_for_outcome(const QStringList& statuses)
{
    QElapsedTimer waited;
    waited.start();
    while (statuses.size() < 2 && waited.elapsed() < 10000) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
}

void press_get(QVyr_phase_setter& panel, QSpinBox& spin, const QStringList& statuses)
{
    const int before = spin.value();
    QMetaObject::invokeMethod(&panel, "on_btn_get_clicked", Qt::DirectConnection);
    wait_for_outcome(statuses);
    const QString head = QStringLiteral("Current Phase get : ");
    if (statuses.size() != 2 || statuses.first() != head || !statuses.last().startsWith(head)) {
        fuzz_fail("phase read did not report its head and a result");
    }
    const QString result = statuses.last().mid(head.size());
    if (result == QStringLiteral("fail")) {
        if (spin.value() != before) {
            fuzz_fail("failed phase read changed the spin box");
        }
        return;
    }
    bool is_number = false;
    const int value = result.toInt(&is_number);
    if (!is_number || value < 0 || value > 999 || result != QString::number(value)) {
        fuzz_fail("phase read reported neither fail nor a three-digit number");
    }
    if (spin.value() != qMin(value, spin.maximum())) {
        fuzz_fail("spin box does not show the phase read");
    }
}

void press_set(QVyr_phase_setter& panel, QSpinBox& spin, const QStringList& statuses)
{
    spin.setValue(PHASE_SET_VALUE);
    QMetaObject::invokeMethod(&panel, "on_btn_update_clicked", Qt::DirectConnection);
    wait_for_outcome(statuses);
    const QString head = QStringLiteral("Phase change[%1] : ").arg(PHASE_SET_VALUE);
    if (statuses.size() != 2 || statuses.first() != head ||
        (statuses.last() != head + "success" && statuses.last() != head + "fail")) {
        fuzz_fail("phase set did not end with success or fail");
    }
    if (spin.value() != PHASE_SET_VALUE) {
        fuzz_fail("phase set changed the spin box");
    }
}

} // namespace

void run_phase_action(QVyr_phase_setter& panel, int which)
{
    QSpinBox* spin = panel.findChild<QSpinBox*>(QStringLiteral("spn_phase_value"));
    if (spin == nullptr) {
        fuzz_fail("phase panel without its spin box");
    }
    QStringList statuses;
    const QMetaObject::Connection connection =
        QObject::connect(&panel, &QVyr_phase_setter::report_status,
                         [&statuses](const QString& status) { statuses << status; });
    if (which % PHASE_ACTIONS == 0) {
        press_get(panel, *spin, statuses);
    } else {
        press_set(panel, *spin, statuses);
    }
    QObject::disconnect(connection);
}
