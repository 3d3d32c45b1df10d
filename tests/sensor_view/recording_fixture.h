#ifndef VYR_TESTS_SENSOR_VIEW_RECORDING_FIXTURE_H
#define VYR_TESTS_SENSOR_VIEW_RECORDING_FIXTURE_H

#include <QFile>
#include <QString>

#include "scan_recording.h"

// A recording of `count` distance scans of eleven steps, `spacing_ms` apart; the scan at
// `damaged` (if any) has a distance no sensor gives.
inline bool write_recording(const QString& path, long count, long spacing_ms, long damaged = -1)
{
    kvt::Recording_header header;
    header.first_step = header.min_step = -5;
    header.last_step = header.max_step = 5;
    header.front_step = 384;
    header.steps_per_rev = 1024;
    header.min_distance = 20;
    header.max_distance = 5600;
    header.scan_period_usec = spacing_ms * 1000;
    kvt::Recording_writer writer;
    if (!writer.open(QFile::encodeName(path).toStdString(), header))
        return false;
    kvt::Scan_record scan;
    for (int step = header.first_step; step <= header.last_step; ++step) {
        scan.step.push_back(step);
        scan.angle_deg.push_back(kvt::recorded_step_deg(step, header.steps_per_rev));
        scan.distance.push_back(0);
    }
    for (long n = 0; n < count; ++n) {
        scan.number = n;
        scan.time_stamp = 1000 + n * spacing_ms;
        for (int i = 0; i < scan.size(); ++i)
            scan.distance[i] = 1000 + 10 * n + i;
        if (!writer.write(scan))
            return false;
    }
    if (!writer.close())
        return false;
    if (damaged < 0)
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    QByteArray& line = lines[damaged + 1];
    line.replace(",1", ",-1");
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(lines.join('\n')) > 0;
}

#endif
