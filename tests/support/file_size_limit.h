#ifndef VYR_TESTS_SUPPORT_FILE_SIZE_LIMIT_H
#define VYR_TESTS_SUPPORT_FILE_SIZE_LIMIT_H

#include <csignal>

#include <sys/resource.h>

// While it lives, no file this process writes grows past `bytes` ("File too large"): a
// full disk that stops root as well, whom permissions stop not at all.
class File_size_limit
{
public:
    explicit File_size_limit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~File_size_limit() { setrlimit(RLIMIT_FSIZE, &previous_); }
    File_size_limit(const File_size_limit&) = delete;
    File_size_limit& operator=(const File_size_limit&) = delete;

private:
    rlimit previous_{};
};

#endif
