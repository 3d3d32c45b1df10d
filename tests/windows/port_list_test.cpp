// The enumeration over made-up device lists of the ports class: name extraction from the
// friendly name, the whole-text description check and the sensor-first swaps.

#include "serial_ports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const sensor = "VYR Series USB Device Driver";
const char* const other_sensor = "VYR-Q907 USB Device Driver";
const char* const unreadable = nullptr;

struct Device
{
    const char* friendly_name;
    const char* description;
};

int32_t read_fake(void* context, uint32_t index, uint32_t property, char* text, uint32_t size)
{
    const auto& devices = *static_cast<const std::vector<Device>*>(context);
    if (index >= devices.size()) {
        return -1;
    }
    const char* value = property == VYR_PORT_FRIENDLY_NAME ? devices[index].friendly_name
                                                           : devices[index].description;
    if (!value || std::strlen(value) >= size) {
        // A failed read may leave anything behind.
        std::strncpy(text, "left over", size);
        return 0;
    }
    std::strcpy(text, value);
    return 1;
}

struct Listing_case
{
    const char* name;
    std::vector<Device> devices;
    std::vector<std::string> names;
    std::vector<int32_t> flags;
    std::vector<std::string> descriptions;
};

const Listing_case listing_cases[] = {
    {"empty_machine", {}, {}, {}, {}},
    {"sensor_port_moves_to_the_head",
     {{"Communications Port (COM1)", "Communications Port"}, {"VYR (COM5)", sensor}},
     {"COM5", "COM1"},
     {1, 0},
     {sensor, "Communications Port"}},
    {"alternating_sensors_swap_twice",
     {{"A (COM1)", ""}, {"B (COM2)", sensor}, {"C (COM3)", "c"}, {"D (COM4)", other_sensor}},
     {"COM2", "COM1", "COM4", "COM3"},
     {1, 0, 1, 0},
     {sensor, "", other_sensor, "c"}},
    {"two_sensors_in_front",
     {{"A (COM1)", sensor}, {"B (COM2)", sensor}},
     {"COM2", "COM1"},
     {1, 1},
     {sensor, sensor}},
    {"names_of_every_length",
     {{"USB Serial Port (COM3)", ""}, {"Port (COM12)", ""}, {"Port (COM100)", ""}},
     {"COM3", "COM12", "COM100"},
     {0, 0, 0},
     {"", "", ""}},
    {"skipped_devices",
     {{"Printer Port (LPT1)", ""},
      {"COM7", sensor},
      {unreadable, sensor},
      {"Modem (COM9)", unreadable},
      {"COM in front (X)", ""}},
     {"COM9"},
     {0},
     {""}},
    {"only_the_whole_description_marks_a_sensor",
     {{"A (COM1)", "VYR Series USB Device Driver "},
      {"B (COM2)", "VYR Series USB Device"},
      {"C (COM3)", "vyr series usb device driver"}},
     {"COM1", "COM2", "COM3"},
     {0, 0, 0},
     {"VYR Series USB Device Driver ", "VYR Series USB Device", "vyr series usb device driver"}},
};

class Listing : public ::testing::TestWithParam<Listing_case>
{
};

TEST_P(Listing, GivesNamesAndFlagsInOrder)
{
    const Listing_case& c = GetParam();
    auto devices = c.devices;
    ASSERT_EQ(find_serial_ports_from(read_fake, &devices), static_cast<int32_t>(c.names.size()));
    for (size_t i = 0; i < c.names.size(); ++i) {
        EXPECT_EQ(serial_port_name(static_cast<int32_t>(i)), c.names[i]) << i;
        EXPECT_EQ(serial_port_is_sensor(static_cast<int32_t>(i)), c.flags[i]) << i;
        EXPECT_EQ(serial_port_description(static_cast<int32_t>(i)), c.descriptions[i]) << i;
    }
    const auto past = static_cast<int32_t>(c.names.size());
    for (int32_t index : {-1, past}) {
        EXPECT_STREQ(serial_port_name(index), "");
        EXPECT_EQ(serial_port_is_sensor(index), -1);
        EXPECT_STREQ(serial_port_description(index), "");
    }
}

INSTANTIATE_TEST_SUITE_P(PortList, Listing, ::testing::ValuesIn(listing_cases),
                         [](const auto& test_info) { return std::string(test_info.param.name); });

TEST(PortList, KeepsSixteenPortsAndIgnoresTheRest)
{
    std::vector<std::string> names;
    for (int i = 1; i <= 20; ++i) {
        names.push_back("Port (COM" + std::to_string(i) + ")");
    }
    std::vector<Device> devices;
    for (const auto& name : names) {
        devices.push_back({name.c_str(), ""});
    }
    devices.back().description = sensor; // beyond the table: never seen
    EXPECT_EQ(find_serial_ports_from(read_fake, &devices), VYR_MAX_SERIAL_PORTS);
    EXPECT_STREQ(serial_port_name(0), "COM1");
    EXPECT_STREQ(serial_port_name(15), "COM16");
    EXPECT_EQ(serial_port_is_sensor(0), 0);
}

// Wine's setup interface lists no ports; whatever it lists must make a consistent table.
TEST(PortList, ThisMachineGivesAConsistentTable)
{
    const int32_t count = find_serial_ports();
    ASSERT_GE(count, 0);
    ASSERT_LE(count, VYR_MAX_SERIAL_PORTS);
    for (int32_t i = 0; i < count; ++i) {
        EXPECT_EQ(std::strncmp(serial_port_name(i), "COM", 3), 0);
        const std::string description = serial_port_description(i);
        EXPECT_EQ(serial_port_is_sensor(i),
                  description == sensor || description == other_sensor ? 1 : 0);
    }
}

} // namespace
