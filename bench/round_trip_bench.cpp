// Maintenance exchange and open against the simulated sensor, each beside a
// plain loopback ping-pong of the same request and reply sizes.

#include "loopback_socket.h"
#include "sensor_model.h"
#include "simulator.h"
#include "vyr_driver.h"

#include "command_link.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Exchange
{
    size_t request;
    size_t reply;
};

// Sizes of what the simulated sensor answers to these command lines, in order.
std::vector<Exchange> exchanges_for(const std::vector<std::string>& lines)
{
    vyr_sim::Sensor_state sensor;
    vyr_sim::Session session;
    std::vector<Exchange> sizes;
    for (const std::string& line : lines) {
        const auto out = vyr_sim::answer_command(sensor, session, line, vyr_sim::Clock::now());
        sizes.push_back({line.size() + 1, out.bytes.size()});
    }
    return sizes;
}

// Answers each connection's requests with replies of the given sizes, in order.
class Ping_pong_peer
{
public:
    explicit Ping_pong_peer(std::vector<Exchange> script) : script_(std::move(script))
    {
        listener_ = listen_loopback(port_);
        thread_ = std::thread([this] { serve(); });
    }
    ~Ping_pong_peer()
    {
        stopping_ = true;
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close_socket(listener_);
    }
    int port() const { return port_; }

private:
    void serve()
    {
        std::vector<char> buffer(64 * 1024, 'x');
        while (!stopping_) {
            int peer = accept_peer(listener_, Nagle::off);
            if (peer < 0) {
                return;
            }
            bool alive = true;
            while (alive) {
                for (const Exchange& e : script_) {
                    alive = receive_exactly(peer, buffer.data(), e.request) &&
                            send_all(peer, buffer.data(), e.reply);
                    if (!alive) {
                        break;
                    }
                }
            }
            close_socket(peer);
        }
    }

    std::vector<Exchange> script_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

bool play(int fd, const std::vector<Exchange>& script)
{
    std::vector<char> buffer(64 * 1024, 'q');
    for (const Exchange& e : script) {
        if (!send_all(fd, buffer.data(), e.request) ||
            !receive_exactly(fd, buffer.data(), e.reply)) {
            return false;
        }
    }
    return true;
}

class Latencies
{
public:
    void add(benchmark::State& state, Clock::time_point start)
    {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        samples_.push_back(seconds * 1e6);
    }
    void report(benchmark::State& state)
    {
        if (samples_.empty()) {
            return;
        }
        std::sort(samples_.begin(), samples_.end());
        state.counters["p50_us"] = samples_[samples_.size() / 2];
        state.counters["p99_us"] = samples_[samples_.size() * 99 / 100];
    }

private:
    std::vector<double> samples_;
};

const char* const heater_command = "%AH1\n";

void heater_driver(benchmark::State& state)
{
    vyr_sim::Simulator sim;
    kvt::Vyr_driver driver;
    if (!sim.start_tcp(0) || !driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet)) {
        state.SkipWithError(driver.last_error_text());
        return;
    }
    Command_link link(driver);
    Latencies latencies;
    QString response;
    for (auto _ : state) {
        const auto start = Clock::now();
        link.send_command(heater_command);
        if (!link.receive_response(response, "00P", 2000)) {
            state.SkipWithError("heater exchange failed");
            break;
        }
        latencies.add(state, start);
    }
    latencies.report(state);
    driver.close();
}

void heater_floor(benchmark::State& state)
{
    const auto script = exchanges_for({"%AH1"});
    Ping_pong_peer peer(script);
    int fd = connect_loopback(peer.port(), Nagle::off);
    Latencies latencies;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!play(fd, script)) {
            state.SkipWithError("ping-pong failed");
            break;
        }
        latencies.add(state, start);
    }
    latencies.report(state);
    close_socket(fd);
}

void open_driver(benchmark::State& state)
{
    vyr_sim::Simulator sim;
    kvt::Vyr_driver driver;
    if (!sim.start_tcp(0)) {
        state.SkipWithError("simulator");
        return;
    }
    Latencies latencies;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet)) {
            state.SkipWithError(driver.last_error_text());
            break;
        }
        latencies.add(state, start);
        driver.close();
    }
    latencies.report(state);
}

// The commands an open sends, as the simulated sensor records them.
std::vector<std::string> open_commands()
{
    vyr_sim::Simulator sim;
    kvt::Vyr_driver driver;
    std::vector<std::string> lines;
    if (sim.start_tcp(0) && driver.open("127.0.0.1", sim.tcp_port(), kvt::Lidar::Ethernet)) {
        for (const auto& received : sim.received()) {
            lines.push_back(received.text);
        }
    }
    driver.close();
    return lines;
}

// A fresh connection and the open's exchanges, as plain sends and receives.
void open_floor(benchmark::State& state)
{
    const auto script = exchanges_for(open_commands());
    if (script.empty()) {
        state.SkipWithError("no open to copy");
        return;
    }
    Ping_pong_peer peer(script);
    Latencies latencies;
    for (auto _ : state) {
        const auto start = Clock::now();
        int fd = connect_loopback(peer.port(), Nagle::off);
        if (fd < 0 || !play(fd, script)) {
            state.SkipWithError("ping-pong failed");
            break;
        }
        latencies.add(state, start);
        close_socket(fd);
    }
    latencies.report(state);
    state.counters["exchanges"] = static_cast<double>(script.size());
}

} // namespace

BENCHMARK(heater_driver)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(heater_floor)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(open_driver)->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(open_floor)->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);
