#include "fed_sensor.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>

Loopback_feed& feed()
{
    static Loopback_feed instance;
    return instance;
}

const std::string& open_reply()
{
    // Recorded from the simulated sensor with the seeds (open/plain).
    static const std::string reply = [] {
        std::ifstream file(VYR_FUZZ_OPEN_REPLY, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (bytes.empty()) {
            fuzz_fail("no recorded reply to opening at " VYR_FUZZ_OPEN_REPLY);
        }
        return bytes;
    }();
    return reply;
}

std::string rest(const uint8_t* data, size_t size)
{
    return size > 1 ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1)
                    : std::string();
}

namespace {

int descriptors_at_start = 0;

int open_descriptors()
{
    int count = 0;
    if (DIR* directory = opendir("/proc/self/fd")) {
        while (readdir(directory) != nullptr) {
            ++count;
        }
        closedir(directory);
    }
    return count;
}

} // namespace

void begin_input(std::vector<Feed_part> parts)
{
    Loopback_feed& the_feed = feed(); // its listener is not the input's
    descriptors_at_start = open_descriptors();
    the_feed.serve(std::move(parts));
}

void end_input()
{
    feed().finish();
    if (open_descriptors() != descriptors_at_start) {
        fuzz_fail("a descriptor outlived the input");
    }
}

void serve_after_open(const std::vector<Feed_part>& reply)
{
    std::vector<Feed_part> parts = replies_per_line(open_reply());
    parts.insert(parts.end(), reply.begin(), reply.end());
    begin_input(std::move(parts));
}

void open_after_reply(const std::vector<Feed_part>& reply, const std::function<bool()>& open,
                      const std::function<void()>& close)
{
    // The open reads with a 140 ms time-out, which a loaded machine can let run out
    // before the feed's thread answers: no finding, so try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        serve_after_open(reply);
        if (open()) {
            return;
        }
        close();
        end_input();
    }
    fuzz_fail("open on the recorded reply failed three times");
}

void open_fed(vyr_sensor& sensor, const std::vector<Feed_part>& reply)
{
    open_after_reply(
        reply,
        [&sensor] {
            vyr_sensor_init(&sensor);
            return vyr_open(&sensor, VYR_ETHERNET, "127.0.0.1", feed().port()) == 0;
        },
        [&sensor] { vyr_close(&sensor); });
}

void close_fed(vyr_sensor& sensor)
{
    vyr_close(&sensor);
    end_input();
}

void fuzz_fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
