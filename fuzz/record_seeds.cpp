// Records the simulated sensor's real replies as seed inputs:
//   vyr_fuzz_seeds <corpus directory>
// Each seed is a selector byte (where the target takes one) and the bytes the
// sensor sent for that operation, after its reply to opening.
#include "engine_operations.h"
#include "fed_sensor.h"
#include "phase_actions.h"
#include "phase_setter.h"
#include "reply_recorder.h"
#include "simulator.h"
#include "vyr_driver.h"
#include "vyr_measurement.h"

#include <QApplication>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>

namespace {

std::string corpus;
std::string plain_open_reply;

void write_seed(const std::string& target, const std::string& name, const std::string& bytes)
{
    const std::string directory = corpus + "/" + target;
    mkdir(directory.c_str(), 0755);
    std::ofstream(directory + "/" + name, std::ios::binary) << bytes;
    std::printf("%s/%s: %zu bytes\n", target.c_str(), name.c_str(), bytes.size());
}

std::string opening(Reply_recorder& recorder)
{
    std::string bytes = recorder.take();
    if (bytes != plain_open_reply) {
        fuzz_fail("the sensor's reply to opening is not the one the targets serve");
    }
    return bytes;
}

// The bytes the sensor sends for operation on an engine handle opened through recorder.
std::string engine_reply(Reply_recorder& recorder,
                         const std::function<void(vyr_sensor&)>& operation, int quiet_ms)
{
    vyr_sensor sensor;
    vyr_sensor_init(&sensor);
    if (vyr_open(&sensor, VYR_ETHERNET, "127.0.0.1", recorder.port()) != 0) {
        fuzz_fail("simulated sensor did not open");
    }
    opening(recorder);
    operation(sensor);
    std::string bytes = recorder.take(quiet_ms);
    vyr_close(&sensor);
    recorder.take();
    return bytes;
}

void record_open(vyr_sim::Simulator& sim, Reply_recorder& recorder)
{
    const auto open_once = [&recorder] {
        vyr_sensor sensor;
        vyr_sensor_init(&sensor);
        vyr_open(&sensor, VYR_ETHERNET, "127.0.0.1", recorder.port());
        std::string bytes = recorder.take();
        vyr_close(&sensor);
        recorder.take();
        return bytes;
    };
    // The targets serve this one ahead of their input.
    plain_open_reply = open_once();
    write_seed("open", "plain", plain_open_reply);
    sim.set_old_protocol(true);
    write_seed("open", "old_protocol", open_once());
    sim.set_old_protocol(false);
    sim.set_time_adjust_mode(true);
    write_seed("open", "time_adjust_mode", open_once());
    sim.set_time_adjust_mode(false);
}

void record_info(Reply_recorder& recorder)
{
    for (int which = 0; which < INFO_OPERATIONS; ++which) {
        const std::string bytes = engine_reply(
            recorder, [which](vyr_sensor& sensor) { run_info_query(sensor, which); }, 100);
        write_seed("info", "query_" + std::to_string(which),
                   std::string(1, static_cast<char>(which)) + bytes);
    }
}

void record_scans(Reply_recorder& recorder)
{
    static const char* const targets[] = {"scan_distance", "scan_distance_intensity",
                                          "scan_multiecho", "scan_multiecho_intensity"};
    for (int type = VYR_DISTANCE; type <= VYR_MULTIECHO_INTENSITY; ++type) {
        for (int mode = 0; mode < SCAN_MODES; ++mode) {
            // Endless scans never fall quiet: keep what came with the two read.
            const int quiet_ms = mode == 2 ? 0 : 100;
            const std::string bytes = engine_reply(
                recorder, [type, mode](vyr_sensor& sensor) { run_scans(sensor, type, mode); },
                quiet_ms);
            write_seed(targets[type], "mode_" + std::to_string(mode),
                       std::string(1, static_cast<char>(mode)) + bytes);
        }
    }
}

void record_link(Reply_recorder& recorder)
{
    kvt::Vyr_driver driver;
    QVyr_phase_setter panel(driver);
    for (int which = 0; which < PHASE_ACTIONS; ++which) {
        if (!driver.open("127.0.0.1", recorder.port(), kvt::Lidar::Ethernet)) {
            fuzz_fail("simulated sensor did not open");
        }
        opening(recorder);
        run_phase_action(panel, which);
        const std::string bytes = recorder.take();
        driver.close();
        recorder.take();
        write_seed("link", "action_" + std::to_string(which),
                   std::string(1, static_cast<char>(which)) + bytes);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    corpus = argv[1];
    mkdir(corpus.c_str(), 0755);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qt_argc = 1;
    QApplication app(qt_argc, argv);

    vyr_sim::Simulator sim;
    if (!sim.start_tcp(0)) {
        fuzz_fail("simulated sensor did not start");
    }
    sim.set_phase(123);
    Reply_recorder recorder(sim.tcp_port());
    record_open(sim, recorder);
    record_info(recorder);
    record_scans(recorder);
    record_link(recorder);
    return 0;
}
