#include "system_error.h"

namespace {

// One record per thread: parallel opens each keep their own reason.
thread_local vyr_system_error last_error = {0, ""};

} // namespace

void vyr_record_system_error(const char* call, int32_t number)
{
    last_error.number = number;
    last_error.call = call ? call : "";
}

void vyr_clear_system_error(void)
{
    last_error = {0, ""};
}

vyr_system_error vyr_last_system_error(void)
{
    return last_error;
}
