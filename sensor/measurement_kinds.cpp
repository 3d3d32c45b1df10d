#include "measurement_kinds.h"

#include "vyr_measurement.h"

// The translation scanner finds the list texts by this mark and files them under the live
// view, which translates them.
#define QT_TRANSLATE_NOOP(context, text) text

namespace kvt {

const Measurement_kind measurement_kinds[measurement_kind_count] = {
    {Lidar::Range, VYR_DISTANCE, 1, false, 'G', 'M', 'D', "distance",
     QT_TRANSLATE_NOOP("Live_scan_window", "Distance")},
    {Lidar::Range_intensity, VYR_DISTANCE_INTENSITY, 1, true, 'G', 'M', 'E', "intensity",
     QT_TRANSLATE_NOOP("Live_scan_window", "Distance + intensity")},
    {Lidar::Multi_echo, VYR_MULTIECHO, 3, false, 'H', 'N', 'D', "multiecho",
     QT_TRANSLATE_NOOP("Live_scan_window", "Multi-echo")},
    {Lidar::Multi_echo_intensity, VYR_MULTIECHO_INTENSITY, 3, true, 'H', 'N', 'E',
     "multiecho-intensity", QT_TRANSLATE_NOOP("Live_scan_window", "Multi-echo + intensity")},
};

const Measurement_kind* measurement_kind(Lidar::measurement_type type)
{
    for (const Measurement_kind& kind : measurement_kinds) {
        if (kind.type == type) {
            return &kind;
        }
    }
    return nullptr;
}

const Measurement_kind* engine_measurement_kind(int engine_type)
{
    for (const Measurement_kind& kind : measurement_kinds) {
        if (kind.engine_type == engine_type) {
            return &kind;
        }
    }
    return nullptr;
}

const Measurement_kind* measurement_kind_of_echo(char request_letter, char data_letter)
{
    for (const Measurement_kind& kind : measurement_kinds) {
        if ((request_letter == kind.single_letter || request_letter == kind.continuous_letter) &&
            data_letter == kind.data_letter) {
            return &kind;
        }
    }
    return nullptr;
}

bool has_intensity(Lidar::measurement_type type)
{
    const Measurement_kind* kind = measurement_kind(type);
    return kind && kind->intensity;
}

bool is_multiecho(Lidar::measurement_type type)
{
    const Measurement_kind* kind = measurement_kind(type);
    return kind && kind->echo_slots > 1;
}

} // namespace kvt
