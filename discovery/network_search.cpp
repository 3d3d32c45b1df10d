#include "network_search.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vyr_find {

namespace {

// Descriptors kept free for the rest of the process (files, output, serial ports).
constexpr int reserved_descriptors = 64;
// The longest a stop request waits.
constexpr int stop_check_ms = 50;

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Probe
{
    int fd = -1;
    uint32_t address = 0;
    bool connected = false;
    long long deadline = 0;
    Reply_reader reader;
};

// Walks the ranges one address at a time.
class Address_walk
{
public:
    explicit Address_walk(const std::vector<Address_range>& ranges) : ranges_(ranges)
    {
        if (!ranges_.empty()) {
            next_ = ranges_[0].first;
        }
    }
    bool more() const { return index_ < ranges_.size(); }
    uint32_t take()
    {
        const uint32_t address = static_cast<uint32_t>(next_);
        if (++next_ > ranges_[index_].last && ++index_ < ranges_.size()) {
            next_ = ranges_[index_].first;
        }
        return address;
    }

private:
    const std::vector<Address_range>& ranges_;
    size_t index_ = 0;
    uint64_t next_ = 0;
};

class Search
{
public:
    Search(const Network_search& search, const Search_report& report)
        : search_(search), report_(report)
    {
    }

    // False when no socket could be had now; the address is then tried again later.
    bool start(uint32_t address, std::vector<Probe>& probes)
    {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return false;
        }
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr.s_addr = htonl(address);
        peer.sin_port = htons(static_cast<uint16_t>(search_.port));
        probes.emplace_back();
        Probe& probe = probes.back();
        probe.fd = fd;
        probe.address = address;
        probe.deadline = now_ms() + search_.timeout_ms;
        if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
            ask(probe);
        } else if (errno != EINPROGRESS) {
            close(fd); // refused or unreachable at once
            probe.fd = -1;
        }
        return true;
    }

    // Looks at what poll saw; true once the probe is settled (and its socket closed).
    bool step(Probe& probe, short events, long long now)
    {
        if (probe.fd < 0) {
            return true;
        }
        if (!probe.connected) {
            if (events & (POLLOUT | POLLERR | POLLHUP)) {
                int error = 0;
                socklen_t size = sizeof error;
                if (getsockopt(probe.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
                    return settle(probe);
                }
                ask(probe);
                return false;
            }
            return now >= probe.deadline && settle(probe);
        }
        bool closed = false;
        if (events & (POLLIN | POLLERR | POLLHUP)) {
            char chunk[4096];
            // Until the answer is clear: a device that floods must not hold the loop.
            while (!probe.reader.identified() && !probe.reader.foreign()) {
                const ssize_t got = recv(probe.fd, chunk, sizeof chunk, 0);
                if (got > 0) {
                    probe.reader.feed(chunk, static_cast<size_t>(got));
                    continue;
                }
                closed = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
                break;
            }
        }
        const Reply_reader& reader = probe.reader;
        if (reader.identified() || (reader.measuring() && (closed || now >= probe.deadline))) {
            Found_sensor sensor{endpoint(probe), reader.identity(), reader.measuring()};
            if (report_.found) {
                report_.found(sensor);
            }
            return settle(probe);
        }
        if (reader.foreign()) {
            return silent(probe, "not a sensor's answer");
        }
        if (closed) {
            return silent(probe, "closed without an answer");
        }
        return now >= probe.deadline && silent(probe, "no answer");
    }

    bool settle(Probe& probe)
    {
        if (probe.fd >= 0) {
            close(probe.fd);
            probe.fd = -1;
        }
        return true;
    }

private:
    void ask(Probe& probe)
    {
        probe.connected = true;
        probe.deadline = now_ms() + search_.timeout_ms;
        // A send that fails shows as a closed link or no answer.
        (void)!send(probe.fd, identify_request, sizeof identify_request - 1, MSG_NOSIGNAL);
    }

    bool silent(Probe& probe, const char* reason)
    {
        if (report_.silent) {
            report_.silent(Silent_endpoint{endpoint(probe), reason});
        }
        return settle(probe);
    }

    Endpoint endpoint(const Probe& probe) const
    {
        Endpoint place;
        place.address = address_text(probe.address);
        place.port = search_.port;
        return place;
    }

    const Network_search& search_;
    const Search_report& report_;
};

} // namespace

int sockets_allowed(int wanted)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return std::min(wanted, 256);
    }
    const rlim_t needed = static_cast<rlim_t>(wanted) + reserved_descriptors;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
        rlimit raised = limit;
        raised.rlim_cur =
            limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    if (limit.rlim_cur == RLIM_INFINITY) {
        return wanted;
    }
    // Whatever the process already holds comes out of the limit too; half of a small one.
    const long usable = static_cast<long>(limit.rlim_cur) - reserved_descriptors;
    const long allowed =
        usable > 2 * reserved_descriptors ? usable : static_cast<long>(limit.rlim_cur / 2);
    return static_cast<int>(std::max(1L, std::min<long>(wanted, allowed)));
}

std::vector<Address_range> merged(std::vector<Address_range> ranges)
{
    std::sort(ranges.begin(), ranges.end(),
              [](const Address_range& a, const Address_range& b) { return a.first < b.first; });
    std::vector<Address_range> result;
    for (const Address_range& range : ranges) {
        if (!result.empty() && uint64_t(range.first) <= uint64_t(result.back().last) + 1) {
            result.back().last = std::max(result.back().last, range.last);
        } else {
            result.push_back(range);
        }
    }
    return result;
}

Network_outcome search_network(const Network_search& given, const Search_report& report,
                               const Stop_flag* stop)
{
    // Each address once, however the ranges overlap.
    Network_search search = given;
    search.ranges = merged(given.ranges);
    Network_outcome outcome;
    for (const Address_range& range : search.ranges) {
        outcome.addresses += static_cast<long>(range.size());
    }
    const size_t cap = static_cast<size_t>(sockets_allowed(std::max(1, search.max_in_flight)));
    Search run(search, report);
    Address_walk walk(search.ranges);
    std::vector<Probe> probes;
    probes.reserve(cap);
    std::vector<pollfd> polled;
    long done = 0;
    bool have_pending = false;
    uint32_t pending = 0;
    for (;;) {
        if (stop && stop->load()) {
            for (Probe& probe : probes) {
                run.settle(probe);
            }
            outcome.stopped = true;
            break;
        }
        while (probes.size() < cap && (have_pending || walk.more())) {
            const uint32_t address = have_pending ? pending : walk.take();
            have_pending = !run.start(address, probes);
            pending = address;
            if (have_pending) {
                // Out of descriptors: wait for some to be let go, or skip the address if
                // none are held.
                have_pending = !probes.empty();
                done += have_pending ? 0 : 1;
                break;
            }
        }
        if (probes.empty() && !have_pending && !walk.more()) {
            break;
        }
        long long now = now_ms();
        long long wait = stop_check_ms;
        polled.resize(probes.size());
        for (size_t i = 0; i < probes.size(); ++i) {
            polled[i] =
                pollfd{probes[i].fd, static_cast<short>(probes[i].connected ? POLLIN : POLLOUT), 0};
            // A probe settled at its start (refused at once) needs no wait.
            wait = probes[i].fd < 0 ? 0 : std::min(wait, std::max(0LL, probes[i].deadline - now));
        }
        if (poll(polled.data(), polled.size(), static_cast<int>(wait)) < 0 && errno != EINTR) {
            break;
        }
        now = now_ms();
        for (size_t i = probes.size(); i-- > 0;) {
            if (run.step(probes[i], polled[i].revents, now)) {
                ++done;
                probes[i] = std::move(probes.back());
                probes.pop_back();
                polled[i] = polled.back();
                polled.pop_back();
            }
        }
        if (report.progress) {
            report.progress(done, outcome.addresses);
        }
    }
    return outcome;
}

} // namespace vyr_find
