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

void vyr_record_link_loss(vyr_link_loss* loss, const char* call, int32_t number)
{
    vyr_record_system_error(call, number);
    if (__atomic_load_n(&loss->number, __ATOMIC_ACQUIRE) != 0) {
        return;
    }
    __atomic_store_n(&loss->call, call, __ATOMIC_RELAXED);
    __atomic_store_n(&loss->number, number, __ATOMIC_RELEASE);
}

void vyr_clear_link_loss(vyr_link_loss* loss)
{
    __atomic_store_n(&loss->number, 0, __ATOMIC_RELEASE);
}

vyr_system_error vyr_link_loss_reason(const vyr_link_loss* loss)
{
    vyr_system_error reason = {__atomic_load_n(&loss->number, __ATOMIC_ACQUIRE), ""};
    const char* call = __atomic_load_n(&loss->call, __ATOMIC_RELAXED);
    if (reason.number != 0 && call) {
        reason.call = call;
    }
    return reason;
}
