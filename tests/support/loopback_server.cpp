#include "loopback_server.h"

#include <stdexcept>

LoopbackServer::LoopbackServer(int backlog)
{
    listener_ = listen_loopback(port_, backlog);
    if (listener_ < 0) {
        throw std::runtime_error("loopback listener");
    }
}

LoopbackServer::~LoopbackServer()
{
    close_peer();
    close_socket(listener_);
}

bool LoopbackServer::accept_peer()
{
    close_peer();
    if (!wait_readable(listener_, 1000)) {
        return false;
    }
    peer_ = ::accept_peer(listener_);
    return peer_ >= 0;
}

void LoopbackServer::send(const std::string& bytes)
{
    if (!send_all(peer_, bytes.data(), bytes.size())) {
        throw std::runtime_error("send");
    }
}

std::string LoopbackServer::receive(size_t size, int timeout_ms)
{
    return receive_within(peer_, size, timeout_ms);
}

void LoopbackServer::close_peer()
{
    close_socket(peer_);
}
