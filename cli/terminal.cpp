#include "terminal.h"

#include "lidar.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define VYR_ISATTY _isatty
#else
#include <unistd.h>
#define VYR_ISATTY isatty
#endif

namespace {

// Atomics, not sig_atomic_t: the handler may run on any thread (always another one on
// Windows). Lock-free ones are safe in a signal handler.
std::atomic<int> stop_number{0};
std::atomic<kvt::Lidar*> stop_target{nullptr};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<kvt::Lidar*>::is_always_lock_free,
              "used from a signal handler");

void on_stop(int number)
{
    const int first = stop_number.exchange(number);
    if (first != 0) {
        // The user asked twice: whatever the sensor does, leave now.
        std::_Exit(128 + first);
    }
    if (kvt::Lidar* driver = stop_target.load()) {
        driver->request_abort();
    }
}

extern "C" void on_stop_signal(int number)
{
    on_stop(number);
}

#ifdef _WIN32
// Runs on a thread of its own, which the system starts for each event.
BOOL WINAPI on_console_event(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        on_stop(SIGINT);
        return TRUE;
    }
    if (event == CTRL_CLOSE_EVENT) {
        on_stop(SIGTERM);
        return TRUE;
    }
    return FALSE;
}
#endif

} // namespace

bool stderr_is_terminal()
{
    return VYR_ISATTY(2) != 0;
}

void catch_stop_signals()
{
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
#ifdef _WIN32
    SetConsoleCtrlHandler(on_console_event, TRUE);
#endif
}

void ignore_broken_pipe()
{
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

int stop_signal()
{
    return stop_number.load();
}

int interrupted_exit_code()
{
    const int number = stop_number.load();
    return 128 + (number != 0 ? number : SIGINT);
}

void abort_on_stop(kvt::Lidar* driver)
{
    stop_target.store(driver);
}

void exit_now(int code)
{
    std::_Exit(code);
}
