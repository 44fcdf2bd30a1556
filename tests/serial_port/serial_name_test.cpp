// Port names: the COM number of a name, and the device each system opens.
#include "platform/serial.h"
#include "platform/serial_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace {

TEST(SerialComNumber, Table) {
    struct {
        const char *name;
        int number;
        const char *device;
    } cases[] = {
        {"COM1", 1, "COM1"},
        {"COM1:", 1, "COM1"},
        {"COM9:", 9, "COM9"},
        {"COM10:", 10, "COM10"},
        {"COM255:", 255, "COM255"},
        {"com1:", 1, "COM1"},
        {"Com12", 12, "COM12"},
        {"COM1: 9600", 1, "COM1"}, // the name ends at the colon
        {"COM2550", 2550, "COM2550"},
        {"COM25501", 2550, "COM2550"}, // only the first 7 characters count
        {"COM", 0, ""},
        {"COM:", 0, ""},
        {"COM0", 0, ""},
        {"COM00:", 0, ""},
        {"COMX", 0, ""},
        {"COM1X", 0, ""},
        {"COM 1", 0, ""},
        {"COM-1", 0, ""},
        {"LPT1:", 0, ""},
        {"CON", 0, ""},
        {"", 0, ""},
        {"/dev/ttyS0", 0, ""},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        char device[8] = "junk";
        EXPECT_EQ(SerialComNumber(c.name, device), c.number);
        EXPECT_STREQ(device, c.device);
        EXPECT_EQ(SerialComNumber(c.name), c.number);
    }
    EXPECT_EQ(SerialComNumber(nullptr), 0);
}

// The device each system opens for a name. A directory without COM files
// stands for the start directory on POSIX.
TEST(SerialPortPath, Table) {
    std::filesystem::path empty = std::filesystem::temp_directory_path() / "serial_name_test_dir";
    std::filesystem::create_directories(empty);
    std::string base = empty.string();
    struct {
        const char *name;
        const char *path; // null: not a port name
    } cases[] = {
#ifdef _WIN32
        {"COM1:", "\\\\.\\COM1"},   {"COM9", "\\\\.\\COM9"},
        {"COM10:", "\\\\.\\COM10"}, {"com255:", "\\\\.\\COM255"},
        {"COM01:", "\\\\.\\COM1"},  {"\\\\.\\COM3", "\\\\.\\COM3"},
        {"/dev/ttyS0", nullptr},
#else
        {"COM1:", "/dev/ttyS0"},
        {"COM9", "/dev/ttyS8"},
        {"COM10:", "/dev/ttyS9"},
        {"com255:", "/dev/ttyS254"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"\\\\.\\COM3", nullptr},
#endif
        {"COM0:", nullptr},         {"LPT1:", nullptr},
        {"COMX", nullptr},          {"", nullptr},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        char path[64] = "";
        int ok = SerialPortPathIn(c.name, base.c_str(), path, sizeof path);
        EXPECT_EQ(ok != 0, c.path != nullptr);
        if (c.path) {
            EXPECT_STREQ(path, c.path);
        }
    }
    // A path that does not fit is refused rather than cut short.
    char small[6];
    EXPECT_EQ(SerialPortPathIn("COM10:", base.c_str(), small, sizeof small), 0);
    std::filesystem::remove(empty);
}

} // namespace
