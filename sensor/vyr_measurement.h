#ifndef VYR_MEASUREMENT_H
#define VYR_MEASUREMENT_H

/* Laser, scan range, measurement requests and scan-data decoding. */

#include "vyr_sensor.h"

#ifdef __cplusplus
extern "C" {
#endif

enum vyr_measurement_type {
    VYR_DISTANCE = 0,
    VYR_DISTANCE_INTENSITY = 1,
    VYR_MULTIECHO = 2,
    VYR_MULTIECHO_INTENSITY = 3
};

int vyr_laser_on(vyr_sensor* sensor);
int vyr_laser_off(vyr_sensor* sensor);

/* Steps are counted from area_front; sends nothing, used by the next request. */
int vyr_set_scan_range(vyr_sensor* sensor, int first_step, int last_step, int skip_step);

/* scan_count: 0 or above 99 endless, 1 single scan, 2..99 that many. */
int vyr_start_scans(vyr_sensor* sensor, int type, int scan_count, int skip_scans);

/* Each read returns the number of steps stored, or a negative code. Multi-echo
   arrays hold three slots per step; time_stamp may be null. */
int vyr_read_distance(vyr_sensor* sensor, long* distance, long* time_stamp);
int vyr_read_distance_intensity(vyr_sensor* sensor, long* distance, unsigned short* intensity,
                                long* time_stamp);
int vyr_read_multiecho(vyr_sensor* sensor, long* distance, long* time_stamp);
int vyr_read_multiecho_intensity(vyr_sensor* sensor, long* distance, unsigned short* intensity,
                                 long* time_stamp);

int vyr_stop_scans(vyr_sensor* sensor);

/* Value of length characters of 6 bits each, most significant first. */
long vyr_decode(const char* text, int length);

#ifdef __cplusplus
}
#endif

#endif
