#ifndef VYR_SENSOR_H
#define VYR_SENSOR_H

#include "connection.h"

#ifdef __cplusplus
extern "C" {
#endif

enum vyr_error {
    VYR_NO_ERROR = 0,
    VYR_UNKNOWN_ERROR = -1,
    VYR_NOT_CONNECTED = -2,
    VYR_NOT_IMPLEMENTED = -3,
    VYR_INVALID_RESPONSE = -4,
    VYR_NO_RESPONSE = -5,
    VYR_SEND_ERROR = -6,
    VYR_RECEIVE_ERROR = -7,
    VYR_CHECKSUM_ERROR = -8,
    VYR_INVALID_PARAMETER = -9,
    VYR_MEASUREMENT_TYPE_MISMATCH = -10,
    VYR_SERIAL_OPEN_ERROR = -11,
    VYR_BAUDRATE_DETECT_ERROR = -12,
    VYR_ETHERNET_OPEN_ERROR = -13,
    VYR_SCANNING_PARAMETER_ERROR = -14,
    VYR_DATA_SIZE_PARAMETER_ERROR = -15
};

enum { VYR_INFO_TEXT_SIZE = 80, VYR_ERROR_DETAIL_SIZE = 160 };

/* One sensor. The caller owns it and starts it with vyr_sensor_init. */
typedef struct vyr_sensor
{
    int is_active;
    int last_error;
    vyr_connection connection;
    int area_min;
    int area_max;
    int area_front;
    int area_resolution;
    int scan_usec;
    int distance_min;
    int distance_max;
    int first_step;
    int last_step;
    int skip_step;
    int skip_scans;
    int timeout_msec;
    int scan_count_requested;
    int scans_remaining;
    int laser_is_on;
    int received_first_step;
    int received_last_step;
    int data_pending;
    char info_text[VYR_INFO_TEXT_SIZE];
    /* Set by vyr_request_abort from any thread or a signal handler; read atomically. */
    int abort_requested;
    /* The wall-clock end of the user's operation in progress (monotonic ms), shared by
       the operations it calls; operation_depth counts them. */
    long long deadline_ms;
    int operation_depth;
    unsigned lines_unclocked; /* lines read since the deadline was last compared */
    long line_rate;           /* serial: the rate the link runs at; 0 over TCP */
    char error_detail[VYR_ERROR_DETAIL_SIZE];
} vyr_sensor;

/* Zero-fills the handle and leaves its connection closed, so that raw
   operations before the first open fail without touching a device. */
void vyr_sensor_init(vyr_sensor* sensor);

int vyr_open(vyr_sensor* sensor, int connection_type, const char* device, long baudrate);
void vyr_close(vyr_sensor* sensor);
int vyr_reboot(vyr_sensor* sensor);
void vyr_set_timeout(vyr_sensor* sensor, int msec);
const char* vyr_error_text(const vyr_sensor* sensor);
/* The fixed message of one error code. */
const char* vyr_error_message(int code);
/* What the last failure came from, in plain words ("no answer to \"QT\" within
   140 ms"); empty when there is nothing to add to vyr_error_text. */
const char* vyr_error_detail(const vyr_sensor* sensor);

/* "the sensor closed the connection" (Ethernet) or "the device was unplugged" (serial)
   once a read or write of the open link found it gone; "" before. Any thread may ask. */
const char* vyr_link_lost_text(const vyr_sensor* sensor);

/* Makes a wait on the sensor end within about 100 ms and every operation fail at once
   (VYR_NO_RESPONSE) until vyr_clear_abort. A lock-free store: safe from another thread
   and from a signal handler. */
void vyr_request_abort(vyr_sensor* sensor);
void vyr_clear_abort(vyr_sensor* sensor);

int vyr_raw_write(vyr_sensor* sensor, const char* data, int size);
int vyr_raw_read(vyr_sensor* sensor, char* buffer, int max_size, int timeout);
int vyr_raw_readline(vyr_sensor* sensor, char* buffer, int max_size, int timeout);
/* Drops input that arrived and was not read, without waiting for more: rounds
   of connection_discard_input while they find input, bounded. The count
   dropped, or -1 when the link cannot be read. */
int vyr_raw_discard_input(vyr_sensor* sensor);

#ifdef __cplusplus
}
#endif

#endif
