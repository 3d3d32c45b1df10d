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

/* One value of a reply read once for several keys. */
typedef struct vyr_info_value
{
    int found; /* 0 when the reply lacks the key */
    char text[VYR_INFO_TEXT_SIZE];
} vyr_info_value;

/* One "VV\n" for the three version texts, one "II\n" for the status and the state. Null
   when every key was in the reply; else "not connected." or "receive error.", the values
   then saying which keys the reply held (none when it did not come). */
const char* vyr_read_version(vyr_sensor* sensor, vyr_info_value* product,
                             vyr_info_value* firmware_version, vyr_info_value* serial_number);
const char* vyr_read_state(vyr_sensor* sensor, vyr_info_value* sensor_status,
                           vyr_info_value* measurement_state);
/* The same with the failure as a code: 0, VYR_NOT_CONNECTED or VYR_RECEIVE_ERROR. */
int vyr_query_version(vyr_sensor* sensor, vyr_info_value* product, vyr_info_value* firmware_version,
                      vyr_info_value* serial_number);
int vyr_query_state(vyr_sensor* sensor, vyr_info_value* sensor_status,
                    vyr_info_value* measurement_state);

/* 1 when the sensor status begins with "Stable". */
int vyr_is_stable(vyr_sensor* sensor);
int vyr_status_is_stable(const char* sensor_status);

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
