// A recording file as a stranger may hand it over: opened, and every scan it indexes read.

#include "scan_recording.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/vyr_fuzz_recording_" + std::to_string(getpid());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    kvt::Recording_reader reader;
    if (reader.open(path)) {
        kvt::Scan_record scan;
        for (long i = 0; i < reader.scan_count(); ++i) {
            // A scan whose values do not match its steps would send a user past their end.
            if (reader.read(i, scan) &&
                static_cast<size_t>(scan.size() * scan.echo_slots()) != scan.distance.size()) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
