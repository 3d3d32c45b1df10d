#ifndef VYR_CONVERSIONS_H
#define VYR_CONVERSIONS_H

/* Limits from the sensor parameters, and conversions between steps (counted
   from area_front), indexes into the last scan and angles. Nothing is sent and
   last_error is never touched. An inactive handle gives -2 (or -2.0 radians). */

#include "vyr_sensor.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Inactive handle: min 1, max 0. */
void vyr_distance_limits(const vyr_sensor* sensor, long* min, long* max);
void vyr_step_limits(const vyr_sensor* sensor, int* min, int* max);

long vyr_scan_period_usec(const vyr_sensor* sensor);
int vyr_max_data_count(const vyr_sensor* sensor);

double vyr_step_to_rad(const vyr_sensor* sensor, int step);
double vyr_step_to_deg(const vyr_sensor* sensor, int step);
double vyr_index_to_rad(const vyr_sensor* sensor, int index);
double vyr_index_to_deg(const vyr_sensor* sensor, int index);

/* Rounds half up; the result is an absolute step, clamped to 0..area_max. */
int vyr_rad_to_index(const vyr_sensor* sensor, double radians);
int vyr_deg_to_index(const vyr_sensor* sensor, double degrees);
int vyr_rad_to_step(const vyr_sensor* sensor, double radians);
int vyr_deg_to_step(const vyr_sensor* sensor, double degrees);
int vyr_step_to_index(const vyr_sensor* sensor, int step);

#ifdef __cplusplus
}
#endif

#endif
