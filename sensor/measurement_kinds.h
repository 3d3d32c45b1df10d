#ifndef KVT_MEASUREMENT_KINDS_H
#define KVT_MEASUREMENT_KINDS_H

// What each kind of measurement is, written once: the engine's requests and decoding, the
// driver, the CSV and ndjson rows, vyr and the live view all take it from this table.

#include "lidar.h"

namespace kvt {

struct Measurement_kind
{
    Lidar::measurement_type type; // the driver's
    int engine_type;              // the engine's vyr_measurement_type
    int echo_slots;               // values stored per step: three echoes, or one
    bool intensity;               // an intensity beside every distance
    char single_letter;           // first letter of the request for one scan
    char continuous_letter;       // first letter of the request for a series
    char data_letter;             // second letter of both
    const char* cli_name;         // vyr scan --type
    const char* list_text;        // the live view's kind box, translated there
};

enum { measurement_kind_count = 4 };
extern const Measurement_kind measurement_kinds[measurement_kind_count];

// The row of a driver type or of an engine type; null for a value outside the table.
const Measurement_kind* measurement_kind(Lidar::measurement_type type);
const Measurement_kind* engine_measurement_kind(int engine_type);
// The row whose request letters begin a scan's echo; null when none has them.
const Measurement_kind* measurement_kind_of_echo(char request_letter, char data_letter);

// False for a type outside the table.
bool has_intensity(Lidar::measurement_type type);
bool is_multiecho(Lidar::measurement_type type);

} // namespace kvt

#endif
