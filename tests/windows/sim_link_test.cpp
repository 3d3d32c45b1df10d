// The Win32 serial path and the engine's open against the Linux simulator, which
// scripts/test-windows starts: its TCP port in VYR_SIM_TCP_PORT, its pseudo-terminal
// mapped as the COM port named in VYR_SIM_COM (answering at 115200, silent otherwise).

#include "serial_device.h"
#include "system_error.h"
#include "vyr_sensor.h"

#include "transport_reads.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include <windows.h>

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

class Sim_link : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (com.empty() || tcp_port == 0) {
            GTEST_SKIP() << "no simulator: run through scripts/test-windows";
        }
    }
    void TearDown() override { serial_close(&serial); }

    // The echo and status of a stop command, or what came instead.
    std::string stop_reply(int32_t timeout = 500)
    {
        EXPECT_EQ(serial_write(&serial, "QT\n", 3), 3);
        std::string echo;
        std::string status;
        readline_through(serial_readline, &serial, echo, 64, timeout);
        readline_through(serial_readline, &serial, status, 64, timeout);
        std::string empty;
        readline_through(serial_readline, &serial, empty, 64, timeout);
        return echo + "|" + status;
    }

    const std::string com = environment("VYR_SIM_COM");
    const long tcp_port = std::atol(environment("VYR_SIM_TCP_PORT").c_str());
    vyr_serial serial;
};

TEST_F(Sim_link, SerialPortTalksAtTheSensorsRateOnly)
{
    ASSERT_EQ(serial_open(&serial, com.c_str(), 19200), 0);
    EXPECT_EQ(stop_reply(300), "|");
    EXPECT_EQ(serial_set_baudrate(&serial, 115200), 0);
    EXPECT_EQ(stop_reply(), "QT|00P");
}

TEST_F(Sim_link, QuietPortReadsNothingAtOnceOrAfterTheTimeOut)
{
    ASSERT_EQ(serial_open(&serial, com.c_str(), 115200), 0);
    char buffer[8];
    Stopwatch at_once;
    EXPECT_EQ(serial_read(&serial, buffer, sizeof buffer, 0), 0);
    EXPECT_LT(at_once.elapsed_ms(), 100);
    Stopwatch waiting;
    EXPECT_EQ(serial_read(&serial, buffer, sizeof buffer, 300), 0);
    EXPECT_GE(waiting.elapsed_ms(), 250);
    EXPECT_LT(waiting.elapsed_ms(), 1000);
    std::string line;
    EXPECT_EQ(readline_through(serial_readline, &serial, line, 72, 200), -1);
    EXPECT_EQ(line, "");
}

// Wine maps the share mode of a device onto nothing, so only Windows itself shows it.
bool under_wine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST_F(Sim_link, PortInUseCannotBeOpenedAgain)
{
    if (under_wine()) {
        GTEST_SKIP() << "Wine does not enforce the sharing mode of a serial device";
    }
    ASSERT_EQ(serial_open(&serial, com.c_str(), 115200), 0);
    vyr_serial second;
    EXPECT_EQ(serial_open(&second, com.c_str(), 115200), -1);
    EXPECT_EQ(second.handle, VYR_SERIAL_INVALID_HANDLE);
    EXPECT_EQ(stop_reply(), "QT|00P") << "the first open keeps working";
}

TEST_F(Sim_link, MissingOrOverlongPortsFailAndStayClosed)
{
    const struct
    {
        const char* name;
        int number;
    } cases[] = {{"COM98", ENOENT}, {"COM12345", ENAMETOOLONG}};
    for (const auto& c : cases) {
        EXPECT_EQ(serial_open(&serial, c.name, 115200), -1) << c.name;
        EXPECT_EQ(vyr_last_system_error().number, c.number) << c.name;
        char byte = 0;
        EXPECT_EQ(serial_write(&serial, "QT\n", 3), -1);
        EXPECT_EQ(serial_read(&serial, &byte, 1, 0), -1);
    }
}

// The search finds 115200 and switches the sensor to the rate asked for.
TEST_F(Sim_link, EngineOpensOverEitherLink)
{
    const struct
    {
        int type;
        std::string device;
        long rate_or_port;
    } cases[] = {
        {VYR_ETHERNET, "127.0.0.1", tcp_port},
        {VYR_SERIAL, com, 115200},
        {VYR_SERIAL, com, 38400},
        {VYR_SERIAL, com, 115200},
    };
    for (const auto& c : cases) {
        vyr_sensor sensor;
        vyr_sensor_init(&sensor);
        EXPECT_EQ(vyr_open(&sensor, c.type, c.device.c_str(), c.rate_or_port), 0)
            << c.device << " " << c.rate_or_port << ": " << vyr_error_text(&sensor);
        EXPECT_EQ(vyr_raw_write(&sensor, "%AH1\n", 5), 5);
        char line[100];
        EXPECT_EQ(vyr_raw_readline(&sensor, line, sizeof line, 1000), 4);
        EXPECT_STREQ(line, "%AH1");
        EXPECT_EQ(vyr_raw_readline(&sensor, line, sizeof line, 1000), 3);
        EXPECT_STREQ(line, "00P");
        vyr_close(&sensor);
    }
}

} // namespace
