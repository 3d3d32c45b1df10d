#include "terminal.h"

#include <csignal>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
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

#ifdef _WIN32
// Ctrl-Break and closing the console window stop a scan as Ctrl-C does.
BOOL WINAPI on_console_event(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        stop_flag = 1;
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
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
#ifdef _WIN32
    SetConsoleCtrlHandler(on_console_event, TRUE);
#endif
}

bool stop_requested()
{
    return stop_flag != 0;
}
