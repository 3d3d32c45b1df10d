#include "scan_feed.h"

#include "loopback_socket.h"
#include "sensor_model.h"

#include <cstdio>
#include <sys/socket.h>

namespace {

const int scans_in_block = 32;

// The widest range the driver can ask for, as a sensor with 1440 steps a turn reports it.
vyr_sim::Sensor_state full_range_state()
{
    vyr_sim::Sensor_state state;
    vyr_sim::set_field(state.parameters, "AMIN", "0");
    vyr_sim::set_field(state.parameters, "AMAX", "1080");
    vyr_sim::set_field(state.parameters, "AFRT", "540");
    vyr_sim::set_field(state.parameters, "ARES", "1440");
    state.pacing = vyr_sim::Pacing::fast;
    return state;
}

const char* request_for(int type)
{
    static const char* const requests[] = {"MD0000108001000", "ME0000108001000", "ND0000108001000",
                                           "NE0000108001000"};
    return requests[type & 3];
}

// One received line without its terminator; false when the peer left.
bool read_line(int fd, std::string& pending, std::string& line)
{
    for (;;) {
        const size_t end = pending.find_first_of("\r\n");
        if (end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return true;
        }
        char chunk[256];
        const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0) {
            return false;
        }
        pending.append(chunk, static_cast<size_t>(got));
    }
}

std::vector<std::string> encoded_scan_list(int type, int count)
{
    vyr_sim::Sensor_state state = full_range_state();
    vyr_sim::Session session;
    vyr_sim::answer_command(state, session, request_for(type), vyr_sim::Clock::now());
    std::vector<std::string> scans;
    for (int i = 0; i < count; ++i) {
        scans.push_back(vyr_sim::send_due_scan(state, session, vyr_sim::Clock::now()).bytes);
    }
    return scans;
}

} // namespace

Scan_feed::Scan_feed(int type, bool raw, int scans_once)
    : type_(type), raw_(raw), once_(scans_once > 0)
{
    for (const std::string& scan : encoded_scan_list(type, once_ ? scans_once : scans_in_block)) {
        block_ += scan;
        scan_sizes_.push_back(scan.size());
    }
    listener_ = listen_loopback(port_);
    if (listener_ >= 0) {
        thread_ = std::thread([this] { serve(); });
    }
}

Scan_feed::~Scan_feed()
{
    stop();
    close_socket(listener_);
}

double Scan_feed::bytes_per_scan() const
{
    return static_cast<double>(block_.size()) / static_cast<double>(scan_sizes_.size());
}

size_t Scan_feed::bytes_of_scans_from(int first) const
{
    size_t bytes = 0;
    for (size_t i = static_cast<size_t>(first); i < scan_sizes_.size(); ++i) {
        bytes += scan_sizes_[i];
    }
    return bytes;
}

bool Scan_feed::wait_fed(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(fed_mutex_);
    return fed_changed_.wait_for(lock, limit, [this] { return fed_; });
}

void Scan_feed::stop()
{
    stopping_ = true;
    if (listener_ >= 0) {
        shutdown(listener_, SHUT_RDWR); // wakes a pending accept
    }
    if (peer_ >= 0) {
        shutdown(peer_, SHUT_RDWR); // wakes a blocked send or receive
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    close_socket(peer_);
}

void Scan_feed::serve()
{
    peer_ = accept_peer(listener_, Nagle::off);
    if (peer_ < 0 || stopping_) {
        return;
    }
    // Room for about a hundred scans ahead of the reader.
    const int send_buffer = 4 << 20;
    setsockopt(peer_, SOL_SOCKET, SO_SNDBUF, &send_buffer, sizeof send_buffer);
    if (!raw_ && !answer_until_scanning()) {
        return;
    }
    if (once_) {
        feed_once();
    } else {
        feed();
    }
}

bool Scan_feed::answer_until_scanning()
{
    vyr_sim::Sensor_state state = full_range_state();
    vyr_sim::Session session;
    std::string pending;
    std::string line;
    while (!stopping_ && read_line(peer_, pending, line)) {
        const vyr_sim::Output out =
            vyr_sim::answer_command(state, session, line, vyr_sim::Clock::now());
        if (!send_all(peer_, out.bytes.data(), out.bytes.size())) {
            return false;
        }
        if (session.scanning) {
            // The block was encoded for the full-range request of this type.
            if (line != request_for(type_)) {
                std::fprintf(stderr, "scan feed: unexpected request %s\n", line.c_str());
                return false;
            }
            return true;
        }
    }
    return false;
}

void Scan_feed::feed_once()
{
    if (send_all(peer_, block_.data(), block_.size())) {
        std::lock_guard<std::mutex> lock(fed_mutex_);
        fed_ = true;
    }
    fed_changed_.notify_all();
}

void Scan_feed::feed()
{
    while (!stopping_ && send_all(peer_, block_.data(), block_.size())) {
    }
}
