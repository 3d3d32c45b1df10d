#ifndef VYR_FUZZ_REPLY_RECORDER_H
#define VYR_FUZZ_REPLY_RECORDER_H
// A loopback relay between the host and a sensor that keeps a copy of every
// byte the sensor sends, so real replies can become fuzzing input.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class Reply_recorder
{
public:
    explicit Reply_recorder(int sensor_port); // the sensor listens on 127.0.0.1
    ~Reply_recorder();
    Reply_recorder(const Reply_recorder&) = delete;
    Reply_recorder& operator=(const Reply_recorder&) = delete;

    int port() const { return port_; }

    // The sensor's bytes since the last take, once it has been quiet for quiet_ms.
    std::string take(int quiet_ms = 100);

private:
    void run();
    void relay(int host);

    int sensor_port_;
    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::string recorded_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

#endif
