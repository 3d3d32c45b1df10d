// vyr_sim: the simulated sensor as a program of its own.

#include "options.h"
#include "scan_recording.h"
#include "simulator.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <thread>

using namespace vyr_sim;

namespace {

// Option lines on standard input change the running sensor.
void read_controls(Simulator& sim)
{
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::vector<std::string> args;
        for (std::string w; words >> w;)
            args.push_back(w);
        Endpoints ignored;
        std::string error;
        if (!apply_options(args, sim, ignored, error))
            std::fprintf(stderr, "vyr_sim: %s\n", error.c_str());
        else if (!ignored.replay_path.empty())
            std::fprintf(stderr, "vyr_sim: --replay is taken at the start only\n");
        // A script waits for this instead of guessing how long the change takes.
        std::printf("done\n");
        std::fflush(stdout);
    }
}

// The recording's sensor and scans, handed to the simulator as plain data. Every scan
// is read once here, so that a damaged line stops the start and not a measurement.
bool load_replay(const std::string& path, Simulator& sim, std::string& error)
{
    auto reader = std::make_shared<kvt::Recording_reader>();
    if (!reader->open(path)) {
        error = reader->error();
        return false;
    }
    const kvt::Recording_header& header = reader->header();
    const long count = reader->scan_count();
    if (count == 0) {
        error = path + ": the recording holds no scan";
        return false;
    }
    kvt::Scan_record scan;
    for (long i = 0; i < count; ++i) {
        if (!reader->read(i, scan)) {
            error = reader->error();
            return false;
        }
    }
    const int front = header.front_step;
    const int min_step = std::min(header.min_step, header.first_step);
    const int max_step = std::max(header.max_step, header.last_step);
    if (min_step + front < 0 || max_step + front > 9999) {
        error = path + ": its steps lie beyond what a sensor can be asked for";
        return false;
    }
    sim.set_parameter("AFRT", std::to_string(front));
    sim.set_parameter("AMIN", std::to_string(min_step + front));
    sim.set_parameter("AMAX", std::to_string(max_step + front));
    sim.set_parameter("ARES", std::to_string(header.steps_per_rev));
    if (header.max_distance > 0) {
        sim.set_parameter("DMIN", std::to_string(header.min_distance));
        sim.set_parameter("DMAX", std::to_string(header.max_distance));
    }
    if (header.scan_period_usec > 0)
        sim.set_scans_per_minute(static_cast<int>(
            std::max(1LL, 60000000LL / static_cast<long long>(header.scan_period_usec))));
    const std::pair<const char*, const std::string*> texts[] = {
        {"PROD", &header.product}, {"FIRM", &header.firmware_version},
        {"SERI", &header.serial_number}};
    for (const auto& [key, text] : texts)
        if (!text->empty())
            sim.set_version_field(key, *text);

    auto replay = std::make_shared<Replay>();
    replay->multiecho = kvt::is_multiecho(header.type);
    replay->intensity = kvt::has_intensity(header.type);
    replay->first = header.first_step + front;
    replay->last = header.last_step + front;
    replay->group = header.group;
    replay->loop_gap_ms = header.scan_period_usec > 0 ? header.scan_period_usec / 1000 : 100;
    for (long i = 0; i < count; ++i)
        replay->time_stamps.push_back(reader->time_stamp(i));
    replay->read = [reader](long index, Replay_scan& into) {
        kvt::Scan_record record;
        if (!reader->read(index, record))
            return false;
        into.time_stamp = record.time_stamp;
        into.echo_slots = record.echo_slots();
        into.distance = std::move(record.distance);
        into.intensity = std::move(record.intensity);
        return true;
    };
    sim.set_replay(replay);
    return true;
}

// The recording is served first, so that options after it (--param, --version-field)
// can still change what it says.
std::string replay_path(const std::vector<std::string>& args)
{
    std::string path;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--replay")
            path = args[i + 1];
    return path;
}

} // namespace

int main(int argc, char** argv)
{
    // Blocked before any thread starts, so that only sigwait below takes them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Simulator sim;
    Endpoints endpoints;
    std::string error;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::string replay = replay_path(args);
    if (!replay.empty() && !load_replay(replay, sim, error)) {
        std::fprintf(stderr, "vyr_sim: %s\n", error.c_str());
        return 2;
    }
    if (!apply_options(args, sim, endpoints, error)) {
        std::fprintf(stderr, "vyr_sim: %s\n%s", error.c_str(), usage_text().c_str());
        return 2;
    }
    if (endpoints.help) {
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    }
    if (!endpoints.tcp && !endpoints.serial) {
        std::fprintf(stderr, "vyr_sim: no endpoint (--no-tcp without --serial)\n");
        return 2;
    }
    if (endpoints.tcp) {
        if (!sim.start_tcp(endpoints.port, endpoints.address)) {
            std::fprintf(stderr, "vyr_sim: cannot listen on %s:%d\n", endpoints.address.c_str(),
                         endpoints.port);
            return 1;
        }
        std::printf("tcp %s:%d\n", endpoints.address.c_str(), sim.tcp_port());
        std::fflush(stdout);
    }
    if (endpoints.serial) {
        if (!sim.start_serial()) {
            std::fprintf(stderr, "vyr_sim: cannot create a pseudo-terminal\n");
            return 1;
        }
        std::printf("serial %s\n", sim.serial_path().c_str());
        std::fflush(stdout);
    }

    std::thread(read_controls, std::ref(sim)).detach();
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);

    sim.stop();
    int status = 0;
    if (!endpoints.record_path.empty() && !sim.write_record(endpoints.record_path)) {
        std::fprintf(stderr, "vyr_sim: cannot write %s\n", endpoints.record_path.c_str());
        status = 1;
    }
    // The control reader may still be inside a setter: leave without
    // destroying the simulator under it.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}
