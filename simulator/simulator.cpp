#include "simulator.h"

#include "line_speed.h"
#include "sensor_model.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace vyr_sim {

namespace {

const std::string garbage("\xfe\x80\x1f\xe0", 4);

void set_nonblocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Two seconds at most, in slices so that keep_going is asked while the host does not read.
bool wait_writable(int fd, const std::function<bool()>& keep_going)
{
    for (int waited = 0; waited < 2000; waited += 50) {
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, 50);
        // A pseudo-terminal without a host reports hang-up and stays full.
        if (ready < 0 || (p.revents & (POLLHUP | POLLERR)))
            return false;
        if (ready > 0)
            return true;
        if (keep_going && !keep_going())
            return false;
    }
    return false;
}

void close_fd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

} // namespace

// Lines that go out one at a time between the link's other work.
struct Stream
{
    std::vector<std::string> lines; // empty: none runs
    size_t next = 0;
    std::string unsent; // the rest of a line the host did not take yet
    Clock::time_point due;
    Fault fault = Fault::chatter;
    std::string command;
    int interval_ms = 0;
};

// One endpoint's connection: a TCP client or the pseudo-terminal master.
struct Link
{
    int fd = -1;
    bool serial = false;
    bool hung_up = false; // serial: no host has the slave side open
    Session session;
    Stream stream;
};

struct Simulator::Impl
{
    std::mutex mutex;
    std::condition_variable received_changed;
    Sensor_state state;
    std::vector<Received_line> record;
    int accepted = 0;

    std::thread thread;
    std::atomic<bool> stopping{false};
    // Bumped by every fault change: endless output started under other faults ends.
    std::atomic<unsigned> fault_changes{0};
    std::atomic<int> replying{0};
    std::atomic<int> streaming{0}; // links with a stream running
    int wake[2] = {-1, -1};

    // The thread takes the descriptors under the mutex at each pass; start and
    // stop change them under the mutex or with the thread joined.
    int listen_fd = -1;
    int port = 0;
    std::string address = "127.0.0.1";
    int reboots_followed = 0;
    std::string slave_path;
    Link client;
    Link pty;

    Impl()
    {
        pty.serial = true;
        if (pipe(wake) == 0) {
            set_nonblocking(wake[0]);
            set_nonblocking(wake[1]);
        }
    }
    ~Impl()
    {
        close_fd(wake[0]);
        close_fd(wake[1]);
    }

    template <typename F> auto locked(F f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return f(state);
    }

    void ensure_thread()
    {
        if (thread.joinable())
            return;
        stopping = false;
        thread = std::thread([this] { run(); });
    }

    void poke()
    {
        char c = 0;
        if (write(wake[1], &c, 1) < 0) {
            // A full pipe already wakes the thread.
        }
    }

    bool input_waiting()
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (int fd : {client.fd, pty.fd}) {
            pollfd p{fd, POLLIN, 0};
            if (fd >= 0 && poll(&p, 1, 0) > 0 && (p.revents & POLLIN))
                return true;
        }
        return false;
    }

    void run();
    long long msec_to_work(Clock::time_point now);
    void read_link(Link& link);
    bool handle_line(Link& link, const std::string& line);
    bool deliver(Link& link, const Output& out);
    bool send_bytes(const Link& link, const std::string& bytes, int trickle_ms,
                    const std::function<bool()>& keep_going = {});
    bool send_forever(const Link& link, const std::string& line, unsigned faults_seen);
    // False when the simulator stops; ends early, true, once the faults differ from faults_seen.
    bool pause(int ms, unsigned faults_seen);
    void drop_link(Link& link);
    void start_stream(Link& link, const Output& out);
    void stop_stream(Link& link);
    bool flush_stream(Link& link);
    void run_stream(Link& link);
    void follow_address();
};

void Simulator::Impl::start_stream(Link& link, const Output& out)
{
    if (link.stream.lines.empty())
        ++streaming;
    std::string unsent = std::move(link.stream.unsent);
    link.stream = Stream{out.stream_lines, 0, std::move(unsent), Clock::now(), out.stream_fault,
                         out.stream_command, out.line_interval_ms};
}

void Simulator::Impl::stop_stream(Link& link)
{
    if (!link.stream.lines.empty())
        --streaming;
    link.stream = Stream{};
}

// Whatever is left of a line goes out before anything else is sent, so that
// replies are not cut into it.
bool Simulator::Impl::flush_stream(Link& link)
{
    std::string rest = std::move(link.stream.unsent);
    link.stream.unsent.clear();
    return rest.empty() || send_bytes(link, rest, 0);
}

// Never waits: a host that does not read only holds the stream back.
void Simulator::Impl::run_stream(Link& link)
{
    Stream& st = link.stream;
    if (st.lines.empty())
        return;
    bool still_on;
    {
        std::lock_guard<std::mutex> lock(mutex);
        still_on = state.has_fault(st.fault, st.command);
    }
    if (!still_on) {
        stop_stream(link);
        return;
    }
    const auto now = Clock::now();
    if (now < st.due)
        return;
    if (st.unsent.empty()) {
        st.unsent = st.lines[st.next] + "\n";
        st.next = (st.next + 1) % st.lines.size();
    }
    const ssize_t w = link.serial ? write(link.fd, st.unsent.data(), st.unsent.size())
                                  : send(link.fd, st.unsent.data(), st.unsent.size(),
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w > 0)
        st.unsent.erase(0, static_cast<size_t>(w));
    else if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        if (link.serial)
            stop_stream(link);
        else
            drop_link(link);
        return;
    }
    st.due = std::max(st.due + std::chrono::milliseconds(st.interval_ms),
                      now - std::chrono::milliseconds(st.interval_ms));
    // A full buffer is looked at again soon, not on every pass.
    if (!st.unsent.empty())
        st.due = std::max(st.due, now + std::chrono::milliseconds(5));
}

bool Simulator::Impl::pause(int ms, unsigned faults_seen)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!stopping && Clock::now() < end && fault_changes == faults_seen)
        std::this_thread::sleep_for(
            std::min<Clock::duration>(std::chrono::milliseconds(10), end - Clock::now()));
    return !stopping;
}

// Gives up after two seconds without progress: a host that stopped reading
// must not stall the sensor for ever.
bool Simulator::Impl::send_bytes(const Link& link, const std::string& bytes, int trickle_ms,
                                 const std::function<bool()>& keep_going)
{
    // A trickle lifted with its fault sends the rest at once, so a late reply is complete
    // as soon as the host is told the sensor is well again.
    const unsigned faults_seen = fault_changes;
    const auto start = Clock::now();
    const auto step = std::chrono::milliseconds(std::max(trickle_ms, 1));
    size_t done = 0;
    while (done < bytes.size()) {
        if (stopping)
            return false;
        const bool trickling = trickle_ms > 0 && fault_changes == faults_seen;
        size_t n = bytes.size() - done;
        if (trickling) {
            // Paced from the start of the reply, not from the byte before: a late wake-up
            // on a busy host sends what is due at once instead of stretching the reply.
            const auto now = Clock::now();
            const auto next_due = start + step * static_cast<long>(done);
            if (now < next_due) {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_due - now);
                if (!pause(static_cast<int>(wait.count()), faults_seen))
                    return false;
                continue;
            }
            n = std::min(n, static_cast<size_t>((now - start) / step) + 1 - done);
        }
        ssize_t w = link.serial ? write(link.fd, bytes.data() + done, n)
                                : send(link.fd, bytes.data() + done, n, MSG_NOSIGNAL);
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!wait_writable(link.fd, keep_going))
                return false;
            continue;
        }
        if (w <= 0)
            return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

// A TCP link is closed; the serial line stays, only its session starts over.
void Simulator::Impl::drop_link(Link& link)
{
    stop_stream(link);
    std::lock_guard<std::mutex> lock(mutex);
    end_session(state, link.session);
    if (!link.serial)
        close_fd(link.fd);
}

// Returns false when the link ended.
bool Simulator::Impl::deliver(Link& link, const Output& out)
{
    const unsigned faults_seen = fault_changes;
    if (!out.stream_lines.empty() && out.bytes.empty()) {
        start_stream(link, out);
        return true;
    }
    if (out.bytes.empty() && !out.close)
        return true;
    if (!flush_stream(link) && !link.serial) {
        drop_link(link);
        return false;
    }
    // Likewise a delay ends with its fault.
    if (out.delay_ms > 0 && !pause(out.delay_ms, faults_seen))
        return true;
    Mismatch mismatch;
    long rate;
    {
        std::lock_guard<std::mutex> lock(mutex);
        mismatch = state.mismatch;
        rate = state.serial_rate;
        // The reply still goes out at the old rate; observers see the new one at once.
        if (out.new_rate)
            state.serial_rate = out.new_rate;
    }
    bool sent = true;
    if (link.serial && peer_line_speed(link.fd) != rate) {
        if (mismatch == Mismatch::garbage)
            send_bytes(link, garbage, 0);
    } else {
        sent = send_bytes(link, out.bytes, fault_changes == faults_seen ? out.trickle_ms : 0);
    }
    if (sent && !out.close && !out.endless_line.empty())
        sent = send_forever(link, out.endless_line, faults_seen);
    if (sent && !out.close && !out.stream_lines.empty())
        start_stream(link, out);
    if (out.close || (!sent && !link.serial)) {
        drop_link(link);
        return false;
    }
    return true;
}

// Ends when the host leaves, stops reading or the simulator stops (false), or
// once the faults have changed since the reply began (true).
bool Simulator::Impl::send_forever(const Link& link, const std::string& line,
                                   unsigned faults_seen)
{
    std::string chunk;
    while (chunk.size() < 4096)
        chunk += line;
    const auto same_faults = [&] { return fault_changes == faults_seen; };
    while (same_faults()) {
        if (!send_bytes(link, chunk, 0, same_faults))
            return !same_faults();
    }
    return true;
}

bool Simulator::Impl::handle_line(Link& link, const std::string& line)
{
    const long rate_seen = link.serial ? peer_line_speed(link.fd) : 0;
    Output out;
    bool noise = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto now = Clock::now();
        auto msec = std::chrono::duration_cast<std::chrono::milliseconds>(now - state.epoch);
        record.push_back({line, msec.count(), rate_seen});
        received_changed.notify_all();
        // At the wrong speed the sensor sees noise, not a command.
        noise = link.serial && rate_seen != state.serial_rate;
        if (!noise)
            out = answer_command(state, link.session, line, now);
        else if (state.mismatch == Mismatch::garbage)
            out.bytes = garbage;
    }
    if (noise) {
        send_bytes(link, out.bytes, 0);
        return true;
    }
    ++replying;
    const bool kept = deliver(link, out);
    --replying;
    return kept;
}

void Simulator::Impl::read_link(Link& link)
{
    char buf[512];
    ssize_t n = read(link.fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        // On the pseudo-terminal this means the host closed the slave side.
        link.hung_up = link.serial;
        drop_link(link);
        return;
    }
    std::string data = std::move(link.session.pending);
    data.append(buf, static_cast<size_t>(n));
    size_t start = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] != '\n' && data[i] != '\r')
            continue;
        std::string line = data.substr(start, i - start);
        start = i + 1;
        // Bytes behind a command that ended the link are lost with it.
        if (!line.empty() && !handle_line(link, line))
            return;
    }
    link.session.pending = data.substr(start);
}

long long Simulator::Impl::msec_to_work(Clock::time_point now)
{
    long long wait_ms = -1;
    for (Link* link : {&client, &pty}) {
        if (link->fd < 0 || link->hung_up)
            continue;
        long long s = msec_to_next_scan(link->session, now);
        if (s >= 0 && (wait_ms < 0 || s < wait_ms))
            wait_ms = s;
        if (!link->stream.lines.empty()) {
            // Also soon after the fault is lifted, so that the stream ends.
            long long due = std::chrono::duration_cast<std::chrono::milliseconds>(
                                link->stream.due - now)
                                .count();
            due = std::min<long long>(std::max<long long>(due, 0), 50);
            if (wait_ms < 0 || due < wait_ms)
                wait_ms = due;
        }
    }
    // Chatter that needs no command starts on the next pass.
    if (state.has_fault(Fault::chatter, "") && (wait_ms < 0 || wait_ms > 50))
        wait_ms = 50;
    // Without a host on the slave side the master only reports hang-ups, so
    // it is looked at again every 50 ms instead of on every pass.
    if (pty.fd >= 0 && pty.hung_up && (wait_ms < 0 || wait_ms > 50))
        wait_ms = 50;
    return wait_ms;
}

void Simulator::Impl::run()
{
    Clock::time_point hang_check{};
    while (!stopping) {
        int lfd, mfd;
        long long wait_ms;
        {
            std::lock_guard<std::mutex> lock(mutex);
            lfd = listen_fd;
            mfd = pty.fd;
            wait_ms = msec_to_work(Clock::now());
        }
        const bool watch_pty = mfd >= 0 && (!pty.hung_up || Clock::now() - hang_check >=
                                                                std::chrono::milliseconds(50));
        const nfds_t none = 9;
        pollfd fds[4];
        nfds_t n = 0;
        fds[n++] = {wake[0], POLLIN, 0};
        const nfds_t listen_at = lfd >= 0 && client.fd < 0 ? n : none;
        if (listen_at != none)
            fds[n++] = {lfd, POLLIN, 0};
        const nfds_t client_at = client.fd >= 0 ? n : none;
        if (client_at != none)
            fds[n++] = {client.fd, POLLIN, 0};
        const nfds_t pty_at = watch_pty ? n : none;
        if (pty_at != none)
            fds[n++] = {mfd, POLLIN, 0};

        if (poll(fds, n, static_cast<int>(wait_ms)) < 0 && errno != EINTR)
            break;
        char drain[64];
        while (read(wake[0], drain, sizeof drain) > 0) {
        }
        if (stopping)
            break;

        if (listen_at != none && (fds[listen_at].revents & POLLIN)) {
            int fd = accept4(lfd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                int one = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                std::lock_guard<std::mutex> lock(mutex);
                client.fd = fd;
                client.session = Session{};
                ++accepted;
            }
        }
        if (client_at != none && (fds[client_at].revents & (POLLIN | POLLHUP | POLLERR)))
            read_link(client);
        if (pty_at != none) {
            short ev = fds[pty_at].revents;
            if (ev & POLLIN) {
                pty.hung_up = false;
                read_link(pty);
            } else if (ev & (POLLHUP | POLLERR)) {
                if (!pty.hung_up)
                    drop_link(pty);
                pty.hung_up = true;
            } else {
                pty.hung_up = false;
            }
            if (pty.hung_up)
                hang_check = Clock::now();
        }

        for (Link* link : {&client, &pty}) {
            if (stopping || link->fd < 0 || link->hung_up)
                continue;
            Output out, chatter;
            {
                std::lock_guard<std::mutex> lock(mutex);
                out = send_due_scan(state, link->session, Clock::now());
                if (link->stream.lines.empty() && state.has_fault(Fault::chatter, ""))
                    chatter = chatter_output(state, "");
            }
            if (!deliver(*link, out) || link->fd < 0)
                continue;
            if (!chatter.stream_lines.empty())
                start_stream(*link, chatter);
            run_stream(*link);
        }
        follow_address();
    }
}

Simulator::Simulator() : impl_(new Impl) {}

Simulator::~Simulator()
{
    stop();
}

namespace {

// A non-blocking listener at address:port; -1 unless the address is loopback, for a
// simulated sensor never shows on a real network. port becomes the one bound.
int open_listener(const std::string& address, int& port)
{
    in_addr host{};
    if (inet_pton(AF_INET, address.c_str(), &host) != 1 || (ntohl(host.s_addr) >> 24) != 127)
        return -1;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr = host;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof addr;
    if (port < 0 || port > 65535 || bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        listen(fd, 4) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(fd);
        return -1;
    }
    set_nonblocking(fd);
    port = ntohs(addr.sin_port);
    return fd;
}

} // namespace

// After a reboot into a new loopback address the sensor is found there, on the same
// port; any other address leaves it where it was.
void Simulator::Impl::follow_address()
{
    std::string wanted;
    int same_port;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (listen_fd < 0 || state.reboots == reboots_followed)
            return;
        reboots_followed = state.reboots;
        wanted = state.ip.address;
        same_port = port;
        if (wanted == address)
            return;
    }
    const int fd = open_listener(wanted, same_port);
    if (fd < 0)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    close_fd(listen_fd);
    listen_fd = fd;
    address = wanted;
}

bool Simulator::start_tcp(int port, const std::string& address)
{
    Impl& d = *impl_;
    if (d.listen_fd >= 0)
        return true;
    const int fd = open_listener(address, port);
    if (fd < 0)
        return false;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.listen_fd = fd;
        d.port = port;
        d.address = address;
        d.reboots_followed = d.state.reboots;
    }
    d.ensure_thread();
    d.poke();
    return true;
}

int Simulator::tcp_port() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->port;
}

std::string Simulator::tcp_address() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->address;
}

bool Simulator::start_serial()
{
    Impl& d = *impl_;
    if (d.pty.fd >= 0)
        return true;
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    // Raw from the start, so that nothing is echoed back before the host sets
    // the line up; 9600 matches no rate the sensor speaks.
    int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0) {
        termios t{};
        if (tcgetattr(slave, &t) == 0) {
            cfmakeraw(&t);
            cfsetspeed(&t, B9600);
            tcsetattr(slave, TCSANOW, &t);
        }
        close(slave);
    }
    set_nonblocking(fd);
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.pty.fd = fd;
        d.slave_path = name;
        d.pty.session = Session{};
        d.pty.hung_up = true;
    }
    d.ensure_thread();
    d.poke();
    return true;
}

std::string Simulator::serial_path() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->slave_path;
}

void Simulator::stop()
{
    Impl& d = *impl_;
    d.stopping = true;
    d.poke();
    if (d.thread.joinable())
        d.thread.join();
    std::lock_guard<std::mutex> lock(d.mutex);
    end_session(d.state, d.client.session);
    end_session(d.state, d.pty.session);
    close_fd(d.client.fd);
    close_fd(d.listen_fd);
    close_fd(d.pty.fd);
    d.port = 0;
    d.slave_path.clear();
}

std::vector<Received_line> Simulator::received() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->record;
}

void Simulator::clear_received()
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->record.clear();
}

bool Simulator::wait_for_received(size_t count, int timeout_ms) const
{
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->received_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                            [&] { return impl_->record.size() >= count; });
}

int Simulator::connections_accepted() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->accepted;
}

bool Simulator::client_connected() const
{
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->client.fd >= 0;
}

bool Simulator::write_record(const std::string& path) const
{
    std::vector<Received_line> lines = received();
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    for (const auto& l : lines)
        std::fprintf(f, "%lld\t%s\n", l.msec, l.text.c_str());
    return std::fclose(f) == 0;
}

void Simulator::update(const std::function<void(Sensor_settings&)>& change)
{
    const bool faults_changed = impl_->locked([&](Sensor_state& s) {
        const unsigned faults = s.faults;
        change(s);
        return s.faults != faults;
    });
    if (faults_changed)
        ++impl_->fault_changes;
    impl_->poke();
}

Sensor_settings Simulator::snapshot() const
{
    return impl_->locked([](Sensor_state& s) { return Sensor_settings(s); });
}

void Simulator::set_fault(Fault f, bool on)
{
    update([&](Sensor_settings& s) { s.set_fault(f, on); });
    ++impl_->fault_changes;
    impl_->poke();
}

void Simulator::clear_faults()
{
    update([](Sensor_settings& s) { s.faults = 0; });
    ++impl_->fault_changes;
    impl_->poke();
}

bool Simulator::wait_until_quiet(int timeout_ms) const
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    // Commands that came in while a reply went out are answered next: quiet only
    // when none is waiting, twice in a row.
    for (int calm = 0; calm < 2;) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        calm = impl_->replying == 0 && impl_->streaming == 0 && !impl_->input_waiting()
                   ? calm + 1
                   : 0;
    }
    return true;
}

} // namespace vyr_sim
