#ifndef VYR_FUZZ_ENGINE_OPERATIONS_H
#define VYR_FUZZ_ENGINE_OPERATIONS_H
// The engine operations that read a device's reply after the open, numbered so
// that the targets and the seed recorder pick the same one from a selector byte.
// Each checks what must hold whatever the device sent and aborts otherwise.
#include "loopback_feed.h"
#include "vyr_sensor.h"

#include <string>
#include <vector>

enum { INFO_OPERATIONS = 7, SCAN_MODES = 3 };

void run_info_query(vyr_sensor& sensor, int which);

// mode 0: one scan, 1: two scans, 2: endless scans (two read).
void run_scans(vyr_sensor& sensor, int type, int mode);

// The parts that answer run_scans: a single scan switches the laser on first;
// a series is one request and then only reads.
std::vector<Feed_part> scan_replies(int mode, const std::string& bytes);

#endif
