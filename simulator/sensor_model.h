#ifndef VYR_SIM_SENSOR_MODEL_H
#define VYR_SIM_SENSOR_MODEL_H

// The sensor's behaviour, apart from any endpoint: what it answers to a
// command line, and the scans it sends while a continuous request runs.

#include "simulator.h"

#include <chrono>
#include <string>
#include <vector>

namespace vyr_sim {

using Clock = std::chrono::steady_clock;

// The settings and what the sensor keeps besides; the caller guards it with one mutex.
struct Sensor_state : Sensor_settings
{
    Clock::time_point epoch = Clock::now();

    bool has_fault(Fault f, const std::string& command) const;
    bool fault_on(Fault f) const; // whatever the command prefix
    int scans_per_minute() const;
    long sensor_msec(Clock::time_point now) const;
};

struct Scan_request
{
    std::string command; // as received, for the echo and the fault filter
    char kind = 'G';     // G, H, M or N
    char data = 'D';     // D or E
    int first = 0;
    int last = 0;
    int group = 1;
    int skip = 0;
    int count = 0; // 0: endless
    int sent = 0;
};

// One link's protocol state (one TCP client, or the serial line).
struct Session
{
    std::string pending; // received bytes of an unfinished line
    bool reboot_armed = false;
    Clock::time_point reboot_time;
    bool scanning = false;
    Scan_request scan;
    long replay_index = 0; // the recorded scan to send next
    Clock::time_point next_scan;
};

// Bytes to send and what happens around them.
struct Output
{
    std::string bytes;
    int delay_ms = 0;   // wait before sending
    int trickle_ms = 0; // pause between bytes, 0 sends at once
    bool close = false; // end the link after sending
    long new_rate = 0;  // serial rate to take after sending
    // Sent over and over after bytes, until the host leaves or stops reading.
    std::string endless_line;
    // Sent one by one in turn, line_interval_ms apart, while stream_fault still hits
    // stream_command; the link goes on reading meanwhile.
    std::vector<std::string> stream_lines;
    Fault stream_fault = Fault::chatter;
    std::string stream_command;
    int line_interval_ms = 0;
};

// The chatter fault's output when it hits command (empty: a host just came).
Output chatter_output(const Sensor_state& state, const std::string& command);

Output answer_command(Sensor_state& state, Session& session, const std::string& line,
                      Clock::time_point now);

// Time left until the session's next scan, or a negative value when none runs.
long long msec_to_next_scan(const Session& session, Clock::time_point now);
Output send_due_scan(Sensor_state& state, Session& session, Clock::time_point now);

// The link is gone: a running measurement stops.
void end_session(Sensor_state& state, Session& session);

} // namespace vyr_sim

#endif
