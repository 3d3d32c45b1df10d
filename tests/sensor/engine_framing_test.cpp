#include "sim_sensor_test.h"

#include "reply_framer.h"

#include <cstdio>
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
    for (Fault fault :
         {Fault::wrong_echo, Fault::status_checksum, Fault::data_checksum, Fault::long_line}) {
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
    // The close need not wait for the echo of its "QT": on a busy host the simulator may
    // take it in after the close has returned.
    EXPECT_TRUE(sim.wait_for_received(2, 2000));
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

namespace {

// A line source that plays a script; a null line is a read that delivered nothing, and so
// is every read past the end.
class Scripted_lines : public kvt::Line_source
{
public:
    explicit Scripted_lines(std::vector<const char*> lines) : lines_(std::move(lines)) {}
    int read_line(char* buffer, int size, int timeout_ms) override
    {
        waits.push_back(timeout_ms);
        const char* line = next_ < lines_.size() ? lines_[next_++] : nullptr;
        if (line == nullptr) {
            buffer[0] = '\0';
            return -1;
        }
        std::snprintf(buffer, static_cast<size_t>(size), "%s", line);
        return static_cast<int>(std::strlen(buffer));
    }
    std::vector<int> waits;

private:
    std::vector<const char*> lines_;
    size_t next_ = 0;
};

struct Counted_lines : kvt::Reply_sink
{
    void skipped(const char*, int) override { ++skipped_lines; }
    void line(const char* text, int length) override { kept.emplace_back(text, length); }
    int skipped_lines = 0;
    Texts kept;
};

struct Expected_end
{
    kvt::Reply_end end;
    bool accepted;
};

// One script read in both framings: the engine's checks against the maintenance link's.
struct Frame_case
{
    const char* what;
    std::vector<const char*> lines;
    Expected_end engine;
    Expected_end maintenance;
};

} // namespace

TEST(Reply_framer, EngineAndMaintenanceFramingsJudgeTheSameLinesTheirOwnWay)
{
    using E = kvt::Reply_end;
    const Frame_case cases[] = {
        {"whole reply", {"VV", "00P", "PROD:x;W", ""}, {E::complete, true}, {E::complete, true}},
        {"refused status read to its end",
         {"VV", "01Q", "PROD:x;W", ""},
         {E::complete, false},
         {E::complete, false}},
        {"stray line first", {"QT", "VV", "00P", ""}, {E::wrong_echo, false}, {E::complete, true}},
        {"status checksum", {"VV", "00Q", ""}, {E::status_checksum, false}, {E::complete, false}},
        {"data checksum",
         {"VV", "00P", "PROD:x;X", ""},
         {E::data_checksum, false},
         {E::complete, true}},
        {"read fails after the status",
         {"VV", "00P", nullptr},
         {E::cut, false},
         {E::complete, true}},
        {"nothing", {}, {E::no_answer, false}, {E::no_answer, false}},
        {"older protocol's lone status",
         {"VV", "E", ""},
         {E::complete, true},
         {E::complete, false}},
        {"empty status line", {"VV", "", ""}, {E::bad_status, false}, {E::complete, false}},
        {"status with a blank",
         {"VV", "00P ", ""},
         {E::status_checksum, false},
         {E::complete, false}},
    };
    for (const Frame_case& c : cases) {
        for (const kvt::Framing framing : {kvt::Framing::engine, kvt::Framing::maintenance}) {
            const bool engine = framing == kvt::Framing::engine;
            SCOPED_TRACE(std::string(c.what) + (engine ? " (engine)" : " (maintenance)"));
            Scripted_lines source(c.lines);
            Counted_lines sink;
            const kvt::Reply_frame frame{"VV", 2, framing, accept_zero, "00P", 500};
            const kvt::Reply_outcome outcome = kvt::read_reply(source, frame, sink);
            const Expected_end& expected = engine ? c.engine : c.maintenance;
            EXPECT_EQ(outcome.end, expected.end);
            EXPECT_EQ(outcome.accepted, expected.accepted);
            if (outcome.end == E::complete) {
                EXPECT_EQ(outcome.lines + sink.skipped_lines + 1,
                          static_cast<int>(source.waits.size()));
                EXPECT_EQ(sink.kept.back(), "");
            }
            // Each engine line gets the whole time-out; the maintenance reply shares one.
            for (int wait : source.waits) {
                EXPECT_LE(wait, 500);
                if (engine) {
                    EXPECT_EQ(wait, 500);
                }
            }
        }
    }
}

TEST(Reply_framer, EndlessRepliesAndEndlessStrayLinesStopAtTheLineBound)
{
    const std::vector<const char*> endless(kvt::max_reply_lines + 10, "PROD:x;W");
    std::vector<const char*> reply = {"VV", "00P"};
    reply.insert(reply.end(), endless.begin(), endless.end());
    for (const kvt::Framing framing : {kvt::Framing::engine, kvt::Framing::maintenance}) {
        Counted_lines sink;
        const kvt::Reply_frame frame{"VV", 2, framing, accept_zero, "00P", 500};
        Scripted_lines replying(reply);
        EXPECT_EQ(kvt::read_reply(replying, frame, sink).end, kvt::Reply_end::too_long);
        EXPECT_EQ(static_cast<int>(replying.waits.size()), kvt::max_reply_lines);
        Scripted_lines chattering(endless);
        const kvt::Reply_outcome stray = kvt::read_reply(chattering, frame, sink);
        EXPECT_EQ(stray.end, framing == kvt::Framing::engine ? kvt::Reply_end::wrong_echo
                                                             : kvt::Reply_end::no_answer);
        EXPECT_FALSE(stray.echo_seen);
    }
}
