#include "serial_ports.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const sensor = "VYR Series USB Device Driver";
const char* const other_sensor = "VYR-Q907 USB Device Driver";

// A small sysfs and /dev tree with the shape the enumeration reads.
class FakeMachine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() /
               ("vyr-ports-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "sys/class/tty");
        fs::create_directories(root / "dev");
    }
    void TearDown() override { fs::remove_all(root); }

    static void write_file(const fs::path& path, const std::string& text)
    {
        std::ofstream(path) << text;
    }

    // A USB serial adapter: device, interface, tty; the product string on the device.
    void add_usb_port(const std::string& name, const std::string& product)
    {
        const fs::path device = root / "sys/devices/usb1" / ("1-" + name);
        const fs::path tty = device / (name + ":1.0") / name;
        fs::create_directories(tty);
        write_file(device / "idVendor", "15d1\n");
        write_file(device / "product", product + "\n");
        link_port(name, tty);
    }

    // A serial-core UART; type 0 means no hardware behind the name.
    void add_uart(const std::string& name, int type)
    {
        const fs::path tty = root / "sys/devices/platform/serial8250/tty" / name;
        fs::create_directories(tty);
        link_port(name, tty);
        write_file(root / "sys/class/tty" / name / "type", std::to_string(type) + "\n");
    }

    void link_port(const std::string& name, const fs::path& device)
    {
        const fs::path entry = root / "sys/class/tty" / name;
        fs::create_directories(entry);
        fs::create_directory_symlink(device, entry / "device");
        write_file(root / "dev" / name, "");
    }

    int32_t enumerate()
    {
        return find_serial_ports_in((root / "sys").c_str(), (root / "dev").c_str());
    }

    std::vector<std::string> names()
    {
        std::vector<std::string> listed;
        for (int32_t i = 0; i < enumerate(); ++i) {
            listed.push_back(serial_port_name(i));
        }
        return listed;
    }

    std::vector<int32_t> flags()
    {
        std::vector<int32_t> listed;
        for (int32_t i = 0; i < enumerate(); ++i) {
            listed.push_back(serial_port_is_sensor(i));
        }
        return listed;
    }

    std::vector<std::string> descriptions()
    {
        std::vector<std::string> listed;
        for (int32_t i = 0; i < enumerate(); ++i) {
            listed.push_back(serial_port_description(i));
        }
        return listed;
    }

    fs::path root;
};

using Names = std::vector<std::string>;
using Flags = std::vector<int32_t>;

TEST_F(FakeMachine, SensorPortsMoveForwardBySwapping)
{
    add_usb_port("ttyUSB0", "FT232R USB UART");
    add_usb_port("ttyUSB1", sensor);
    add_usb_port("ttyUSB2", "CP2102 USB to UART Bridge Controller");
    add_usb_port("ttyUSB3", other_sensor);
    EXPECT_EQ(names(), (Names{"ttyUSB1", "ttyUSB0", "ttyUSB3", "ttyUSB2"}));
    EXPECT_EQ(flags(), (Flags{1, 0, 1, 0}));
    // Each description travels with its name.
    EXPECT_EQ(descriptions(), (Names{sensor, "FT232R USB UART", other_sensor,
                                     "CP2102 USB to UART Bridge Controller"}));
}

TEST_F(FakeMachine, SensorPortAlreadyInFrontStaysAndTheNextOneSwapsWithIt)
{
    add_usb_port("ttyACM0", sensor);
    add_usb_port("ttyACM1", sensor);
    EXPECT_EQ(names(), (Names{"ttyACM1", "ttyACM0"}));
    EXPECT_EQ(flags(), (Flags{1, 1}));
}

TEST_F(FakeMachine, OnlyTheWholeDescriptionMarksASensor)
{
    add_usb_port("ttyUSB0", std::string(sensor) + " ");
    add_usb_port("ttyUSB1", "vyr series usb device driver");
    add_usb_port("ttyUSB2", "VYR Series USB Device Drive");
    add_usb_port("ttyUSB3", other_sensor);
    add_uart("ttyS0", 4);
    // Platform order ttyS0, ttyUSB0..3: the one sensor port trades places with ttyS0.
    EXPECT_EQ(names(), (Names{"ttyUSB3", "ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyS0"}));
    EXPECT_EQ(flags(), (Flags{1, 0, 0, 0, 0}));
    // Kept as the device wrote it, blank and case included.
    EXPECT_EQ(descriptions(),
              (Names{other_sensor, std::string(sensor) + " ", "vyr series usb device driver",
                     "VYR Series USB Device Drive", ""}));
}

TEST_F(FakeMachine, DescriptionIsTheProductOfTheUsbDeviceItself)
{
    add_usb_port("ttyUSB0", sensor);
    fs::remove(root / "sys/devices/usb1/1-ttyUSB0/product");
    // A hub above a device without a product string names a hub, not the port.
    write_file(root / "sys/devices/usb1/idVendor", "1d6b\n");
    write_file(root / "sys/devices/usb1/product", "xHCI Host Controller\n");
    add_usb_port("ttyUSB1", std::string(300, 'x'));
    add_uart("ttyS0", 4);
    EXPECT_EQ(names(), (Names{"ttyS0", "ttyUSB0", "ttyUSB1"}));
    EXPECT_EQ(flags(), (Flags{0, 0, 0}));
    // An over-long product string is cut to the table's room, never written past it.
    EXPECT_EQ(descriptions(), (Names{"", "", std::string(255, 'x')}));
}

TEST_F(FakeMachine, ListsRealPortsInNaturalOrder)
{
    add_uart("ttyS10", 4);
    add_uart("ttyS2", 4);
    add_uart("ttyS3", 0);
    add_usb_port("ttyUSB0", "FT232R USB UART");
    // A virtual terminal has no device behind it; a port may lack its node.
    fs::create_directories(root / "sys/class/tty/tty1");
    write_file(root / "dev/tty1", "");
    add_usb_port("ttyUSB9", "gone");
    fs::remove(root / "dev/ttyUSB9");
    EXPECT_EQ(names(), (Names{"ttyS2", "ttyS10", "ttyUSB0"}));
}

TEST_F(FakeMachine, KeepsSixteenPortsAndSkipsNamesThatDoNotFit)
{
    for (int i = 0; i < 20; ++i) {
        add_uart("ttyS" + std::to_string(i), 4);
    }
    add_usb_port("ttyUSB0-with-a-long-name", sensor);
    const Names listed = names();
    ASSERT_EQ(listed.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(listed[static_cast<size_t>(i)], "ttyS" + std::to_string(i));
    }
    EXPECT_EQ(serial_port_name(16), std::string());
    EXPECT_EQ(serial_port_is_sensor(16), -1);
}

TEST_F(FakeMachine, LookupsOutsideTheTableGiveEmptyAnswers)
{
    add_usb_port("ttyUSB0", sensor);
    ASSERT_EQ(enumerate(), 1);
    EXPECT_EQ(serial_port_is_sensor(0), 1);
    for (int32_t index : {-1, 1}) {
        EXPECT_EQ(serial_port_name(index), std::string());
        EXPECT_EQ(serial_port_is_sensor(index), -1);
        EXPECT_EQ(serial_port_description(index), std::string());
    }
}

TEST_F(FakeMachine, MachineWithoutPortsListsNothing)
{
    add_usb_port("ttyUSB0", sensor);
    ASSERT_EQ(enumerate(), 1);
    fs::remove_all(root / "sys/class/tty");
    fs::create_directories(root / "sys/class/tty");
    EXPECT_EQ(enumerate(), 0);
    EXPECT_EQ(serial_port_name(0), std::string());
    EXPECT_EQ(serial_port_is_sensor(0), -1);
    EXPECT_EQ(serial_port_description(0), std::string());

    fs::remove_all(root / "sys");
    EXPECT_EQ(enumerate(), 0);
}

TEST(SerialPorts, ThisMachineGivesAConsistentTable)
{
    const int32_t count = find_serial_ports();
    ASSERT_GE(count, 0);
    ASSERT_LE(count, 16);
    for (int32_t i = 0; i < count; ++i) {
        EXPECT_FALSE(std::string(serial_port_name(i)).empty());
        EXPECT_TRUE(fs::exists(fs::path("/dev") / serial_port_name(i)));
        const std::string description = serial_port_description(i);
        EXPECT_EQ(serial_port_is_sensor(i),
                  description == sensor || description == other_sensor ? 1 : 0);
    }
    EXPECT_EQ(serial_port_is_sensor(count), -1);
}

} // namespace
