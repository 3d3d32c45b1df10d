#ifndef VYR_TESTS_SUPPORT_LOOPBACK_SERVER_H
#define VYR_TESTS_SUPPORT_LOOPBACK_SERVER_H

#include "loopback_socket.h"

#include <string>

// A listener on 127.0.0.1 with a port the system picks; serves one peer at a time.
// Set-up failures throw, so a test never runs against half a server.
class LoopbackServer
{
public:
    explicit LoopbackServer(int backlog = 4);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // False when no client connected within a second.
    bool accept_peer();
    void send(const std::string& bytes);
    // Whatever arrives within timeout_ms, up to size bytes.
    std::string receive(size_t size, int timeout_ms = 1000);
    void close_peer();

private:
    int listener_ = -1;
    int peer_ = -1;
    int port_ = 0;
};

#endif
