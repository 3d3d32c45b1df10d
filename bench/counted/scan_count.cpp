// Instructions per received byte of scan reading through the driver, counted by
// callgrind over a fixed input: full-range scans from the simulated sensor's model,
// all written into a loopback socket before the reading starts, so that every run
// receives the same chunks and runs the same instructions.
//   vyr_scan_count          a table of the four scan kinds
//   vyr_scan_count KIND     the figure of one kind (0..3) alone
// Exits 77 when valgrind is not found. vyr_scan_count --read KIND is the reading
// itself, which callgrind counts inside counted_scan_reading only.

#include "scan_feed.h"
#include "scan_reader.h"
#include "vyr_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const int counted_scans = 8;
const int exit_no_valgrind = 77;

const char* const kind_names[] = {"distance", "distance + intensity", "multi-echo",
                                  "multi-echo + intensity"};

} // namespace

// The only code callgrind counts.
extern "C" __attribute__((noinline)) int counted_scan_reading(kvt::Lidar* driver,
                                                              Scan_reader* reader, int scans)
{
    int read = 0;
    while (read < scans && reader->read(*driver)) {
        ++read;
    }
    return read;
}

namespace {

// One scan ahead of the counted ones takes the acknowledgement and sizes the arrays.
// All scans are queued before the first read, so the reads find the same chunks each run.
int read_scans(int kind)
{
    kvt::Vyr_driver driver; // closes after the feed has let go, so without waiting
    Scan_feed feed(kind, false, counted_scans + 1);
    Scan_reader reader{static_cast<kvt::Lidar::measurement_type>(kind), {}, {}};
    if (!driver.open("127.0.0.1", feed.port(), kvt::Lidar::Ethernet) ||
        !driver.start_scans(reader.type, 0, 0)) {
        std::fprintf(stderr, "scan reading did not start: %s\n", driver.last_error_text());
        return 1;
    }
    if (!feed.wait_fed(std::chrono::seconds(10))) {
        std::fprintf(stderr, "the scans do not fit the loopback socket's buffers\n");
        return 1;
    }
    if (!reader.read(driver) ||
        counted_scan_reading(&driver, &reader, counted_scans) != counted_scans) {
        std::fprintf(stderr, "scan reading failed: %s\n", driver.last_error_text());
        return 1;
    }
    std::printf("%zu\n", feed.bytes_of_scans_from(1));
    return 0;
}

std::string own_path()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

// The events callgrind counted, from its "summary:" line; -1 when there is none.
long long counted_instructions(const std::string& file)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("summary:", 0) == 0) {
            return std::atoll(line.c_str() + 8);
        }
    }
    return -1;
}

struct Count
{
    long long instructions = -1;
    long long bytes = 0;
    double per_byte() const { return bytes > 0 ? double(instructions) / double(bytes) : 0; }
};

Count count_kind(int kind)
{
    char out[] = "/tmp/vyr_scan_count.XXXXXX";
    const int fd = mkstemp(out);
    if (fd < 0) {
        return {};
    }
    close(fd);
    const std::string command =
        "valgrind -q --tool=callgrind --callgrind-out-file=" + std::string(out) +
        " --toggle-collect=counted_scan_reading '" + own_path() + "' --read " +
        std::to_string(kind);
    Count count;
    if (FILE* child = popen(command.c_str(), "r")) {
        if (std::fscanf(child, "%lld", &count.bytes) != 1) {
            count.bytes = 0;
        }
        if (pclose(child) == 0) {
            count.instructions = counted_instructions(out);
        }
    }
    unlink(out);
    return count;
}

bool valgrind_found()
{
    return std::system("command -v valgrind >/dev/null 2>&1") == 0;
}

int print_table()
{
    std::printf("Instructions per received byte of scan reading through the driver (callgrind, "
                "%d full-range scans each)\n\n"
                "| measurement | bytes | instructions | instructions per byte |\n"
                "|---|---:|---:|---:|\n",
                counted_scans);
    for (int kind = 0; kind < 4; ++kind) {
        const Count count = count_kind(kind);
        if (count.instructions < 0) {
            return 1;
        }
        std::printf("| %s | %lld | %lld | %.2f |\n", kind_names[kind], count.bytes,
                    count.instructions, count.per_byte());
    }
    std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--read") == 0) {
        return read_scans(std::atoi(argv[2]) & 3);
    }
    if (!valgrind_found()) {
        std::fprintf(stderr, "valgrind not found: no instruction count\n");
        return exit_no_valgrind;
    }
    if (argc == 2) {
        const Count count = count_kind(std::atoi(argv[1]) & 3);
        if (count.instructions < 0) {
            return 1;
        }
        std::printf("%.3f\n", count.per_byte());
        return 0;
    }
    return print_table();
}
