#ifndef VYR_INFORMATION_H
#define VYR_INFORMATION_H

/* Sensor information texts, time-adjust mode, sleep and wake. */

#include "vyr_sensor.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Each returns the value (kept in info_text until the next query), or
   "not connected." or "receive error.". */
const char* vyr_product(vyr_sensor* sensor);
const char* vyr_serial_number(vyr_sensor* sensor);
const char* vyr_firmware_version(vyr_sensor* sensor);
const char* vyr_sensor_status(vyr_sensor* sensor);
const char* vyr_measurement_state(vyr_sensor* sensor);

/* 1 when the sensor status begins with "Stable". */
int vyr_is_stable(vyr_sensor* sensor);

int vyr_time_adjust_begin(vyr_sensor* sensor);
/* Sensor time in ms (24 bits), or a negative code. */
int vyr_read_sensor_time(vyr_sensor* sensor);
int vyr_time_adjust_end(vyr_sensor* sensor);

/* Positive reply line count on success. */
int vyr_sleep(vyr_sensor* sensor);
int vyr_wake(vyr_sensor* sensor);

#ifdef __cplusplus
}
#endif

#endif
