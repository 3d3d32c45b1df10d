// Time from process start to the main window's first paint, and resident memory
// at that moment, of the program started on the offscreen platform.
// Usage: vyr_startup_time <program> <probe library> [runs]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

long long monotonic_ns()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

struct Start
{
    double ms = -1;
    long rss_kb = -1;
};

// Each run in an empty directory: no settings file or catalogue from an earlier run.
Start run_once(const char* program, const char* probe)
{
    char dir[] = "/tmp/vyr_startup_XXXXXX";
    if (!mkdtemp(dir)) {
        return {};
    }
    const std::string report = std::string(dir) + "/report";
    const long long started = monotonic_ns();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(dir) != 0) {
            _exit(127);
        }
        freopen("/dev/null", "w", stderr); // the offscreen platform's notes
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("LD_PRELOAD", probe, 1);
        setenv("VYR_STARTUP_REPORT", report.c_str(), 1);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    Start start;
    long long painted = -1;
    if (std::FILE* in = std::fopen(report.c_str(), "r")) {
        if (std::fscanf(in, "%lld %ld", &painted, &start.rss_kb) == 2 && painted > 0) {
            start.ms = (painted - started) / 1e6;
        }
        std::fclose(in);
    }
    std::system(("rm -rf " + std::string(dir)).c_str());
    return start;
}

template <typename T> T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <program> <probe library> [runs]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 15;
    // The child starts in a directory of its own, so relative paths would miss.
    char* program = realpath(argv[1], nullptr);
    char* probe = realpath(argv[2], nullptr);
    if (!program || !probe) {
        std::fprintf(stderr, "%s or %s not found\n", argv[1], argv[2]);
        return 2;
    }
    std::vector<double> times;
    std::vector<long> sizes;
    for (int i = 0; i < runs; ++i) {
        const Start start = run_once(program, probe);
        if (start.ms < 0) {
            std::fprintf(stderr, "run %d: the window was not painted\n", i + 1);
            return 1;
        }
        times.push_back(start.ms);
        sizes.push_back(start.rss_kb);
    }
    std::printf("Start-up on the offscreen platform (%d runs)\n\n"
                "| process start to first paint, median | min | max "
                "| resident memory after start, median |\n"
                "|---:|---:|---:|---:|\n"
                "| %.0f ms | %.0f ms | %.0f ms | %.1f MB |\n\n",
                runs, median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()), median(sizes) / 1024.0);
    return 0;
}
