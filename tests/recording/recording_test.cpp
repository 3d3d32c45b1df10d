// Scans read from the simulated sensor through the driver, recorded and read back; and
// files a crash, an editor or a stranger left behind.

#include "scan_recording.h"
#include "simulator.h"
#include "vyr_driver.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using kvt::Lidar;

std::string temp_path(const std::string& name)
{
    return testing::TempDir() + "vyr_recording_" + std::to_string(getpid()) + "_" + name;
}

std::string file_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// The line as vyr wrote it through the JSON library before it had its own writer; the
// recording's lines must stay byte for byte the same.
std::string library_line(const kvt::Scan_record& scan, const Lidar& driver, int stride)
{
    using Json = nlohmann::ordered_json;
    const int slots = scan.echo_slots();
    const bool with_intensity = kvt::has_intensity(scan.type);
    Json distance = Json::array();
    Json intensity = Json::array();
    for (size_t slot = 0; slot < scan.distance.size(); slot += slots) {
        Json step_distance = Json::array();
        Json step_intensity = Json::array();
        for (int echo = 0; echo < slots && (echo == 0 || scan.distance[slot + echo] != 0); ++echo) {
            step_distance.push_back(scan.distance[slot + echo]);
            if (with_intensity) {
                step_intensity.push_back(scan.intensity[slot + echo]);
            }
        }
        distance.push_back(slots > 1 ? step_distance : step_distance[0]);
        if (with_intensity) {
            intensity.push_back(slots > 1 ? step_intensity : step_intensity[0]);
        }
    }
    const int first_step = scan.step.empty() ? 0 : scan.step.front();
    Json object = {{"scan", scan.number},
                   {"timestamp_ms", scan.time_stamp},
                   {"first_step", first_step},
                   {"step_stride", stride},
                   {"first_angle_deg", driver.step_to_deg(first_step)},
                   {"angle_stride_deg", driver.step_to_deg(stride)},
                   {"distance", distance}};
    if (with_intensity) {
        object["intensity"] = intensity;
    }
    return object.dump() + "\n";
}

struct Round_trip_case
{
    const char* name;
    Lidar::measurement_type type;
    int first, last, group;
};

void PrintTo(const Round_trip_case& c, std::ostream* out)
{
    *out << c.name;
}

const Round_trip_case round_trip_cases[] = {
    {"distance", Lidar::Range, -340, 341, 1},
    {"intensity_grouped", Lidar::Range_intensity, -100, 200, 3},
    {"multiecho", Lidar::Multi_echo, -340, 341, 1},
    {"multiecho_intensity_grouped", Lidar::Multi_echo_intensity, 5, 90, 4},
};

class Round_trip_test : public testing::TestWithParam<Round_trip_case>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.start_tcp(0));
        sim.set_pacing(vyr_sim::Pacing::fast);
        sim.set_version_field("PROD", "VYR\xff\x1b");
        ASSERT_TRUE(driver.open("127.0.0.1", sim.tcp_port(), Lidar::Ethernet))
            << driver.last_error_text();
    }
    vyr_sim::Simulator sim;
    kvt::Vyr_driver driver;
};

// Every field the live driver filled comes back, angles and time stamps bit for bit.
TEST_P(Round_trip_test, every_field_comes_back_as_the_driver_read_it)
{
    const Round_trip_case& c = GetParam();
    const std::string path = temp_path(c.name);
    const int scans = 5;
    kvt::Recording_header header =
        kvt::recording_header_for(driver, c.type, c.first, c.last, c.group);
    ASSERT_TRUE(driver.set_scan_range(c.first, c.last, c.group));
    ASSERT_TRUE(driver.start_scans(c.type, scans, 0));
    kvt::Recording_writer writer;
    ASSERT_TRUE(writer.open(path, header)) << writer.error();
    std::vector<kvt::Scan_record> live(scans);
    std::string ndjson;
    for (int n = 0; n < scans; ++n) {
        ASSERT_TRUE(kvt::read_scan_record(driver, c.type, live[n], c.group));
        live[n].number = n;
        ASSERT_TRUE(writer.write(live[n]));
        ndjson += library_line(live[n], driver, c.group);
    }
    ASSERT_TRUE(writer.close()) << writer.error();
    EXPECT_EQ(writer.scans_written(), scans);
    EXPECT_EQ(file_text(path), kvt::recording_header_line(header) + ndjson);
    EXPECT_EQ(writer.bytes_written(), static_cast<long long>(file_text(path).size()));

    kvt::Recording_reader reader;
    ASSERT_TRUE(reader.open(path)) << reader.error();
    EXPECT_FALSE(reader.header_inferred());
    const kvt::Recording_header& read = reader.header();
    EXPECT_EQ(read.type, c.type);
    EXPECT_EQ(read.first_step, c.first);
    EXPECT_EQ(read.last_step, c.last);
    EXPECT_EQ(read.group, c.group);
    EXPECT_EQ(read.product, "VYR\xff\x1b");
    EXPECT_EQ(read.serial_number, "S0000001");
    EXPECT_EQ(read.min_step, driver.min_step());
    EXPECT_EQ(read.max_step, driver.max_step());
    EXPECT_EQ(read.front_step, 384);
    EXPECT_EQ(read.steps_per_rev, 1024);
    EXPECT_EQ(read.max_distance, driver.max_distance());
    EXPECT_EQ(read.scan_period_usec, driver.scan_period_usec());
    EXPECT_EQ(read.started_utc, header.started_utc);
    ASSERT_EQ(reader.scan_count(), scans);
    // Backwards, as a slider may go.
    for (int n = scans - 1; n >= 0; --n) {
        kvt::Scan_record back;
        ASSERT_TRUE(reader.read(n, back)) << reader.error();
        EXPECT_EQ(reader.time_stamp(n), live[n].time_stamp);
        EXPECT_EQ(back.number, live[n].number);
        EXPECT_EQ(back.time_stamp, live[n].time_stamp);
        EXPECT_EQ(back.type, live[n].type);
        EXPECT_EQ(back.distance, live[n].distance);
        EXPECT_EQ(back.intensity, live[n].intensity);
        EXPECT_EQ(back.step, live[n].step);
        EXPECT_EQ(back.angle_deg, live[n].angle_deg);
    }
    kvt::Scan_record none;
    EXPECT_FALSE(reader.read(scans, none));

    // Plain vyr output, the header line dropped, opens with what can be inferred.
    write_file(path, ndjson);
    ASSERT_TRUE(reader.open(path)) << reader.error();
    EXPECT_TRUE(reader.header_inferred());
    EXPECT_EQ(reader.header().type, c.type);
    EXPECT_EQ(reader.header().group, c.group);
    ASSERT_EQ(reader.scan_count(), scans);
    kvt::Scan_record back;
    ASSERT_TRUE(reader.read(scans - 1, back)) << reader.error();
    EXPECT_EQ(back.angle_deg, live[scans - 1].angle_deg);
    EXPECT_EQ(back.distance, live[scans - 1].distance);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Recording, Round_trip_test, testing::ValuesIn(round_trip_cases),
                         [](const testing::TestParamInfo<Round_trip_case>& test_info) {
                             return test_info.param.name;
                         });

const std::string header_line =
    R"({"format":"vyr-recording","version":1,"type":"multiecho-intensity","first_step":-2,)"
    R"("last_step":2,"group":2,"steps_per_rev":1024})"
    "\n";
std::string scan_line(int number, const std::string& distance = "[[1,2],[3],[4,5,6]]",
                      const std::string& intensity = "[[7,8],[9],[10,11,12]]")
{
    return R"({"scan":)" + std::to_string(number) + R"(,"timestamp_ms":)" +
           std::to_string(100 + number) +
           R"(,"first_step":-2,"step_stride":2,"first_angle_deg":-0.703125,)"
           R"("angle_stride_deg":0.703125,"distance":)" +
           distance + R"(,"intensity":)" + intensity + "}\n";
}

struct Damaged_case
{
    const char* name;
    std::string text;
    long scans;          // -1: the open fails
    std::string error;   // in the open's error, or the read's of the last scan
};

void PrintTo(const Damaged_case& c, std::ostream* out)
{
    *out << c.name;
}

const Damaged_case damaged_cases[] = {
    {"whole", header_line + scan_line(0) + scan_line(1), 2, ""},
    {"cut_off_while_written", header_line + scan_line(0) + scan_line(1).substr(0, 60), 1, ""},
    {"cut_off_after_a_whole_scan", header_line + scan_line(0) + scan_line(1).substr(0, 183), 2, ""},
    {"blank_line_at_the_end", header_line + scan_line(0) + "\n", 1, ""},
    {"header_only", header_line, 0, ""},
    {"empty", "", -1, "line 1 is neither a recording header nor a scan"},
    {"not_json", "hello\n" + scan_line(0), -1, "line 1 is neither"},
    {"another_format", R"({"format":"other","version":1})" "\n", -1, "not a recording"},
    {"newer_version", R"({"format":"vyr-recording","version":2})" "\n", -1, "newer"},
    {"no_steps_per_rev",
     R"({"format":"vyr-recording","version":1,"type":"distance","first_step":0,"last_step":1,"group":1})"
     "\n",
     -1, "\"steps_per_rev\" is missing"},
    {"huge_header_number",
     R"({"format":"vyr-recording","version":1,"type":"distance","first_step":0,"last_step":1e300,"group":1,"steps_per_rev":4})"
     "\n",
     -1, "\"last_step\" is not a whole number"},
    {"unknown_kind",
     R"({"format":"vyr-recording","version":1,"type":"colour","first_step":0,"last_step":1,"group":1,"steps_per_rev":4})"
     "\n",
     -1, "\"type\""},
    {"damaged_head_of_a_line", header_line + scan_line(0) + "{\"scan\":x\n" + scan_line(2), -1,
     "line 3: \"scan\" is not a number"},
    {"huge_distance", header_line + scan_line(0, "[[1,2],[3],[4,5,99999999999999999999]]"), 1,
     "line 2: \"distance\" is out of range"},
    {"negative_distance", header_line + scan_line(0, "[[1,2],[-3],[4]]"), 1,
     "\"distance\" -3 is out of range"},
    {"text_for_a_distance", header_line + scan_line(0, "[[1,2],[\"3\"],[4]]"), 1,
     "\"distance\" is not a number"},
    {"four_echoes", header_line + scan_line(0, "[[1,2,3,4],[3],[4]]"), 1, "more than 3 echoes"},
    {"single_echo_shape", header_line + scan_line(0, "[1,3,4]", "[1,3,4]"), 1,
     "a step without its list of echoes"},
    {"intensity_shaped_otherwise", header_line + scan_line(0, "[[1,2],[3],[4]]", "[[1],[3],[4]]"),
     1, "not shaped as"},
    {"steps_beyond_the_range", header_line + scan_line(0, "[[1],[2],[3],[4]]", "[[1],[2],[3],[4]]"),
     1, "outside the recorded"},
    {"intensity_missing",
     header_line + R"({"scan":0,"timestamp_ms":1,"first_step":-2,"step_stride":2,"distance":[[1]]})" "\n",
     1, "\"intensity\" is missing"},
    {"time_stamp_missing",
     header_line + R"({"scan":0,"first_step":-2,"step_stride":2,"distance":[[1]],"intensity":[[1]]})" "\n",
     -1, "line 2: \"timestamp_ms\" is missing"},
    {"line_longer_than_any_scan", header_line + scan_line(0) + std::string(9 << 20, ' ') + "\n",
     -1, "line 3 is longer than any scan"},
    {"keys_in_another_order",
     header_line + R"({"distance":[[1]],"intensity":[[2]],"step_stride":2,"first_step":0,"timestamp_ms":77,"scan":0,"note":{"a":[1,true,null]}})" "\n",
     1, ""},
};

class Damaged_file_test : public testing::TestWithParam<Damaged_case>
{
};

// Never a crash, never a value that is not in the file: a clear error naming the line.
TEST_P(Damaged_file_test, opens_with_the_whole_scans_or_names_the_fault)
{
    const Damaged_case& c = GetParam();
    const std::string path = temp_path(c.name);
    write_file(path, c.text);
    kvt::Recording_reader reader;
    const bool opened = reader.open(path);
    if (c.scans < 0) {
        EXPECT_FALSE(opened);
        EXPECT_NE(reader.error().find(c.error), std::string::npos) << reader.error();
        std::remove(path.c_str());
        return;
    }
    ASSERT_TRUE(opened) << reader.error();
    ASSERT_EQ(reader.scan_count(), c.scans);
    kvt::Scan_record scan;
    for (long n = 0; n < c.scans; ++n) {
        const bool read = reader.read(n, scan);
        if (n + 1 == c.scans && !c.error.empty()) {
            EXPECT_FALSE(read);
            EXPECT_NE(reader.error().find(c.error), std::string::npos) << reader.error();
        } else {
            EXPECT_TRUE(read) << reader.error();
            EXPECT_EQ(scan.time_stamp, reader.time_stamp(n));
        }
    }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Recording, Damaged_file_test, testing::ValuesIn(damaged_cases),
                         [](const testing::TestParamInfo<Damaged_case>& test_info) {
                             return test_info.param.name;
                         });

TEST(Recording_writer, a_full_disk_is_a_failure_with_the_reason)
{
    kvt::Recording_header header;
    header.steps_per_rev = 1024;
    header.last_step = 10;
    kvt::Scan_record scan;
    scan.step.assign(11, 0);
    scan.angle_deg.assign(11, 0);
    scan.distance.assign(11, 1234);
    kvt::Recording_writer writer;
    // The header fits the file's buffer; the first flush finds the disk full.
    EXPECT_FALSE(writer.open("/dev/full", header));
    EXPECT_NE(writer.error().find("/dev/full: No space left on device"), std::string::npos)
        << writer.error();
    EXPECT_FALSE(writer.write(scan));
    EXPECT_FALSE(writer.open("/nonexistent/folder/file", header));
    EXPECT_NE(writer.error().find("No such file or directory"), std::string::npos);
}

} // namespace
