#include "simulator.h"

namespace vyr_sim {

// Values vary with step, scan and echo so that a shifted or swapped value is
// caught, and stay within 18 bits (distances) and 16 bits (intensities).

long sim_distance(int step, int scan, int echo)
{
    return 100 + (static_cast<long>(step) * 37 + static_cast<long>(scan) * 101) % 5000 +
           static_cast<long>(echo) * 700;
}

unsigned short sim_intensity(int step, int scan, int echo)
{
    return static_cast<unsigned short>(
        (static_cast<long>(step) * 53 + static_cast<long>(scan) * 7 + echo * 1009) % 60000 + 1);
}

int sim_echo_count(int step, int scan)
{
    return 1 + (step + scan) % 3;
}

} // namespace vyr_sim
