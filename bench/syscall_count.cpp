// System calls per kilobyte of a reply that keeps flowing, on the TCP line path
// and on the serial line path over a pseudo-terminal.

#include "loopback_socket.h"
#include "serial_device.h"
#include "syscall_counter.h"
#include "tcp_client.h"

#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const int line_count = 4000;
const int line_length = 64; // a scan data line with its checksum

std::string reply_lines()
{
    std::string text;
    for (int i = 0; i < line_count; ++i) {
        for (int c = 0; c < line_length; ++c) {
            text += static_cast<char>('0' + (i + c) % 64);
        }
        text += '\n';
    }
    return text;
}

template <typename Readline> Syscall_counts read_all_lines(Readline readline)
{
    char line[72];
    start_counting_syscalls();
    for (int i = 0; i < line_count; ++i) {
        if (readline(line, static_cast<int32_t>(sizeof line)) != line_length) {
            std::fprintf(stderr, "line %d came short\n", i);
            break;
        }
    }
    return stop_counting_syscalls();
}

void print_row(const char* path, size_t bytes, const Syscall_counts& c)
{
    const long total = c.total();
    std::printf("| %s | %zu | %ld | %.2f | %.0f | %ld | %ld | %ld | %ld |\n", path, bytes, total,
                total * 1024.0 / bytes, total ? double(bytes) / total : 0.0, c.recv, c.setsockopt,
                c.read, c.poll);
}

bool tcp_path(const std::string& text)
{
    int port = 0;
    int listener = listen_loopback(port);
    vyr_tcpclient client;
    if (listener < 0 || tcpclient_open(&client, "127.0.0.1", port) != 0) {
        return false;
    }
    int peer = accept_peer(listener, Nagle::off);
    const int send_buffer = 4 << 20;
    setsockopt(peer, SOL_SOCKET, SO_SNDBUF, &send_buffer, sizeof send_buffer);
    std::thread feeder([&] { send_all(peer, text.data(), text.size()); });
    usleep(50 * 1000); // let the sender get ahead, as a sensor replying at full speed would
    const Syscall_counts counts = read_all_lines(
        [&](char* line, int32_t size) { return tcpclient_readline(&client, line, size, 2000); });
    feeder.join();
    print_row("TCP", text.size(), counts);
    tcpclient_close(&client);
    close_socket(peer);
    close_socket(listener);
    return true;
}

bool serial_path(const std::string& text)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        return false;
    }
    vyr_serial serial;
    if (serial_open(&serial, ptsname(master), 115200) != 0) {
        close(master);
        return false;
    }
    std::thread feeder([&] {
        size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = write(master, text.data() + sent, text.size() - sent);
            if (n <= 0) {
                break;
            }
            sent += static_cast<size_t>(n);
        }
    });
    usleep(50 * 1000);
    const Syscall_counts counts = read_all_lines(
        [&](char* line, int32_t size) { return serial_readline(&serial, line, size, 2000); });
    feeder.join();
    print_row("serial (pseudo-terminal)", text.size(), counts);
    serial_close(&serial);
    close(master);
    return true;
}

} // namespace

int main()
{
    const std::string text = reply_lines();
    std::printf("System calls of line reading while the reply keeps flowing "
                "(%d lines of %d characters)\n\n"
                "| path | bytes | system calls | per KB | bytes per call "
                "| recv | setsockopt | read | poll |\n"
                "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n",
                line_count, line_length);
    const bool ok = tcp_path(text) && serial_path(text);
    std::printf("\n");
    return ok ? 0 : 1;
}
