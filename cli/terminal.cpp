#include "terminal.h"

#include <csignal>

#ifdef _WIN32
#include <io.h>
#define VYR_ISATTY _isatty
#else
#include <unistd.h>
#define VYR_ISATTY isatty
#endif

namespace {

volatile std::sig_atomic_t stop_flag = 0;

extern "C" void on_stop_signal(int)
{
    stop_flag = 1;
}

} // namespace

bool stderr_is_terminal()
{
    return VYR_ISATTY(2) != 0;
}

void catch_stop_signals()
{
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
}

bool stop_requested()
{
    return stop_flag != 0;
}
