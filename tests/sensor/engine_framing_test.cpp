#include "sim_sensor_test.h"

#include <cstring>
#include <string>
#include <vector>

using Texts = std::vector<std::string>;
using vyr_sim::Fault;

namespace {

const int accept_zero[] = {0, -1};

// The NUL-separated strings of a reply buffer, up to and including the first empty one.
Texts stored_lines(const char* reply, int size)
{
    Texts lines;
    for (int at = 0; at < size;) {
        const size_t length = strnlen(reply + at, static_cast<size_t>(size - at));
        lines.emplace_back(reply + at, length);
        at += static_cast<int>(length) + 1;
        if (lines.back().empty()) {
            break;
        }
    }
    return lines;
}

} // namespace

TEST(Checksum, SumsLowSixBitsOntoZeroCharacter)
{
    EXPECT_EQ(vyr_checksum("00", 2), 'P');
    EXPECT_EQ(vyr_checksum("0E", 2), 'e');
    EXPECT_EQ(vyr_checksum("", 0), '0');
    EXPECT_EQ(vyr_checksum("00P", 2), 'P'); // only the given length counts
    // High-bit characters add as unsigned codes: 0xff + 0x01 = 0x100, low bits 0.
    EXPECT_EQ(vyr_checksum("\xff\x01", 2), '0');
}

TEST(ErrorText, EveryCodeHasItsMessageAndOthersAreUnknown)
{
    vyr_sensor sensor;
    vyr_sensor_init(&sensor);
    const std::pair<int, const char*> rows[] = {
        {0, "no error."},
        {-1, "unknown error."},
        {-2, "not connected."},
        {-3, "not implemented."},
        {-4, "invalid response."},
        {-5, "no response."},
        {-6, "send error."},
        {-7, "receive error."},
        {-8, "checksum error."},
        {-9, "invalid parameter."},
        {-10, "measurement type mismatch."},
        {-11, "could not open serial device."},
        {-12, "could not detect serial baudrate."},
        {-13, "could not open ethernet port."},
        {-14, "scanning parameter error."},
        {-15, "data size parameter error."},
        {-16, "Unknown error."},
        {1, "Unknown error."},
    };
    for (const auto& row : rows) {
        sensor.last_error = row.first;
        EXPECT_STREQ(vyr_error_text(&sensor), row.second) << row.first;
    }
}

TEST(FreshHandle, RawAccessFailsBeforeFirstOpen)
{
    vyr_sensor sensor;
    vyr_sensor_init(&sensor);
    char buffer[8] = "keep";
    EXPECT_LT(vyr_raw_write(&sensor, "QT\n", 3), 0);
    EXPECT_LT(vyr_raw_readline(&sensor, buffer, sizeof buffer, 10), 0);
    EXPECT_EQ(sensor.is_active, 0);
    EXPECT_EQ(vyr_reboot(&sensor), VYR_NOT_CONNECTED);
    vyr_close(&sensor); // harmless on a handle that never opened
}

TEST_F(Sim_test, ReplyLinesAreStoredInOrderEndingWithEmptyString)
{
    open_tcp_and_clear();
    char reply[648];
    const int lines = exchange_command(&sensor, "VV\n", accept_zero, 500, reply, sizeof reply);
    ASSERT_GE(lines, 3);
    const Texts stored = stored_lines(reply, sizeof reply);
    ASSERT_EQ(static_cast<int>(stored.size()), lines);
    EXPECT_EQ(stored.front(), "00P");
    EXPECT_EQ(stored[1].compare(0, 5, "VEND:"), 0);
    EXPECT_EQ(stored.back(), "");
}

TEST_F(Sim_test, SmallReplyBufferSkipsLinesThatDoNotFitAndStaysInBounds)
{
    open_tcp_and_clear();
    sim.set_version_field("VEND", std::string(40, 'v'));
    // Status (4 bytes) fits; the long vendor line does not; the shorter lines may.
    char reply[24 + 8];
    std::memset(reply, '#', sizeof reply);
    const int lines = exchange_command(&sensor, "VV\n", accept_zero, 500, reply, 24);
    ASSERT_GT(lines, 2);
    EXPECT_STREQ(reply, "00P");
    EXPECT_EQ(std::string(reply + 24, 8), std::string(8, '#'));
    for (const std::string& line : stored_lines(reply, 24)) {
        EXPECT_EQ(line.find("VEND"), std::string::npos);
    }
}

TEST_F(Sim_test, SpoiledChecksumsFailTheExchange)
{
    open_tcp_and_clear();
    sim.set_fault(Fault::status_checksum);
    EXPECT_EQ(exchange_command(&sensor, "VV\n", accept_zero, 500, nullptr, 0), VYR_CHECKSUM_ERROR);
    EXPECT_EQ(sensor.last_error, VYR_CHECKSUM_ERROR);
    drop_lines(&sensor, 200); // the rest of the reply was left on the link

    sim.clear_faults();
    sim.set_fault(Fault::data_checksum);
    sensor.last_error = 0;
    EXPECT_EQ(exchange_command(&sensor, "II\n", accept_zero, 500, nullptr, 0), VYR_CHECKSUM_ERROR);
    EXPECT_EQ(sensor.last_error, VYR_CHECKSUM_ERROR);
}

// A broken reply is read off to its end, so the next command reads its own.
TEST_F(Sim_test, BrokenReplyIsDroppedToItsEnd)
{
    for (Fault fault : {Fault::wrong_echo, Fault::status_checksum, Fault::data_checksum,
                        Fault::long_line}) {
        open_tcp_and_clear();
        sim.set_fault(fault);
        char reply[504];
        EXPECT_LT(exchange_command(&sensor, "VV\n", accept_zero, 500, reply, sizeof reply), 0);
        const int failure = sensor.last_error;
        sim.clear_faults();
        char line[VYR_LINE_SIZE];
        EXPECT_LT(vyr_raw_readline(&sensor, line, sizeof line, 100), 0) << line;
        EXPECT_EQ(exchange_command(&sensor, "VV\n", accept_zero, 500, reply, sizeof reply), 7);
        EXPECT_EQ(sensor.last_error, failure); // a success stores nothing
        vyr_close(&sensor);
    }
}

TEST_F(Sim_test, OneCharacterStatusIsAcceptedWhateverTheList)
{
    open_tcp_and_clear();
    sim.set_old_protocol(true);
    const int nothing_accepted[] = {-1};
    char reply[8];
    EXPECT_EQ(exchange_command(&sensor, "VV\n", nothing_accepted, 500, reply, sizeof reply), 2);
    EXPECT_STREQ(reply, "E");
}

TEST_F(Sim_test, UnacceptedStatusIsReadToItsEndAndNotStored)
{
    open_tcp_and_clear();
    sensor.last_error = VYR_SEND_ERROR; // any earlier code must survive
    char reply[16];
    // Outside time-adjust mode the sensor refuses "TM1" with status 01.
    EXPECT_EQ(exchange_command(&sensor, "TM1\n", accept_zero, 500, reply, sizeof reply),
              VYR_UNKNOWN_ERROR);
    EXPECT_EQ(sensor.last_error, VYR_SEND_ERROR);
    EXPECT_STREQ(reply, "01Q");
    char line[VYR_LINE_SIZE];
    EXPECT_EQ(vyr_raw_readline(&sensor, line, sizeof line, 300), -1);

    const int accept_one[] = {1, -1};
    EXPECT_EQ(exchange_command(&sensor, "TM1\n", accept_one, 500, nullptr, 0), 2);
}

TEST_F(Sim_test, SilentSensorIsNoResponse)
{
    open_tcp_and_clear();
    sim.set_fault(Fault::no_answer);
    EXPECT_EQ(exchange_command(&sensor, "VV\n", accept_zero, 200, nullptr, 0), VYR_NO_RESPONSE);
    EXPECT_EQ(sensor.last_error, VYR_NO_RESPONSE);
}

TEST_F(Sim_test, CloseStopsPendingOutputOnlyWhenThereMayBeSome)
{
    open_tcp_and_clear();
    vyr_close(&sensor);
    EXPECT_TRUE(nothing_more_received(300));
    EXPECT_EQ(sensor.is_active, 0);

    open_tcp_and_clear();
    sim.set_pacing(vyr_sim::Pacing::fast);
    // Start endless output behind the engine's back, as an earlier user might have.
    ASSERT_EQ(vyr_raw_write(&sensor, "MD0044072501000\n", 16), 16);
    ASSERT_TRUE(sim.wait_for_received(1, 1000));
    sensor.data_pending = 1;
    vyr_close(&sensor);
    EXPECT_EQ(received(), (Texts{"MD0044072501000", "QT"}));
    EXPECT_EQ(sensor.data_pending, 0);
    EXPECT_LT(vyr_raw_write(&sensor, "QT\n", 3), 0);
}

TEST_F(Sim_test, RebootNeedsTwoAcceptedAnswersThenEndsTheLink)
{
    open_tcp_and_clear();
    EXPECT_EQ(vyr_reboot(&sensor), 0);
    EXPECT_EQ(received(), (Texts{"RB", "RB"}));
    EXPECT_EQ(sim.reboot_count(), 1);
    EXPECT_EQ(sensor.is_active, 0);
    EXPECT_EQ(sensor.last_error, 0);
    EXPECT_LT(vyr_raw_write(&sensor, "QT\n", 3), 0);
    EXPECT_EQ(vyr_reboot(&sensor), VYR_NOT_CONNECTED);
}

TEST_F(Sim_test, RefusedOrSpoiledFirstRebootAnswerSendsNoSecond)
{
    for (Fault fault : {Fault::refused_status, Fault::status_checksum}) {
        SCOPED_TRACE(static_cast<int>(fault));
        open_tcp_and_clear();
        sim.clear_faults();
        sim.set_fault(fault);
        sensor.last_error = 0;
        EXPECT_EQ(vyr_reboot(&sensor), VYR_INVALID_RESPONSE);
        EXPECT_EQ(sensor.last_error, VYR_INVALID_RESPONSE);
        EXPECT_EQ(sensor.is_active, 1);
        EXPECT_TRUE(nothing_more_received(300));
        EXPECT_EQ(received(), (Texts{"RB"}));
        EXPECT_EQ(sim.reboot_count(), 0);
        sim.clear_faults();
        vyr_close(&sensor);
    }
}
