#ifndef VYR_SIM_LINE_SPEED_H
#define VYR_SIM_LINE_SPEED_H

namespace vyr_sim {

// The output speed in baud that the host set on the slave side of the
// pseudo-terminal whose master is given; 0 when it cannot be read.
long peer_line_speed(int master_fd);

} // namespace vyr_sim

#endif
