#include "pseudo_terminal.h"

#include "loopback_socket.h"

#include <fcntl.h>
#include <stdexcept>
#include <stdlib.h>
#include <unistd.h>

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        throw std::runtime_error(what);
    }
}

long read_some(int fd, char* buffer, size_t size)
{
    return static_cast<long>(read(fd, buffer, size));
}

} // namespace

PseudoTerminal::PseudoTerminal()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    require(master_ >= 0, "posix_openpt");
    require(grantpt(master_) == 0 && unlockpt(master_) == 0, "unlockpt");
    const char* name = ptsname(master_);
    require(name != nullptr, "ptsname");
    device_path_ = name;
}

PseudoTerminal::~PseudoTerminal()
{
    close(master_);
}

void PseudoTerminal::send(const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
        require(n > 0, "write");
        sent += static_cast<size_t>(n);
    }
}

std::string PseudoTerminal::receive(size_t size, int timeout_ms)
{
    return receive_within(master_, size, timeout_ms, read_some);
}
