#ifndef VYR_SCAN_DECODING_H
#define VYR_SCAN_DECODING_H

// The decoding step of scan data: the values of one reply's character stream into
// the caller's arrays. Internal to the engine (C++ only).

// Where a reply's values go.
struct Scan_layout
{
    long* distance;            // may be null: the values are read and dropped
    unsigned short* intensity; // may be null
    bool with_intensity;       // a value is 6 characters (distance, intensity), else 3
    int echo_slots;            // slots per step: 3 for the multi-echo kinds, else 1
    int last_step;             // index of the last step the reply's echo announced
};

// The step the next value belongs to, and which of its echoes it is.
struct Scan_cursor
{
    int step = 0;
    int echo = 0;
};

// Decodes the whole values at the front of text (available characters), each
// optionally after a '&' that makes it a further echo of the previous step. A value,
// or a '&' with its value, that the text cuts off stays undecoded. Returns the
// characters used, or -1 when the reply holds more steps than its echo announced.
int decode_scan_values(const Scan_layout& layout, Scan_cursor& cursor, const char* text,
                       int available);

#endif
