#include "serial/PortList.h"
#include "serial/WindowsPortName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

TEST(WindowsDeviceName, UsesTheDeviceNamespaceFromPortTen)
{
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "COM1"},         {"COM9", "COM9"},       {"COM10", "\\\\.\\COM10"},
        {"COM12", "\\\\.\\COM12"}, {"COM255", "\\\\.\\COM255"}, {"COMX", "COMX"},
        {"CO", "CO"},             {"", ""},               {"COM", "COM"},
        {"COM09", "COM09"},       {"COM65546", "\\\\.\\COM10"},  // truncated to 16 bits
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(WindowsDeviceName(in), out) << in;
}

class FakeSysfs : public testing::Test {
protected:
    void SetUp() override
    {
        root = fs::path(testing::TempDir()) / ("sysfs-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "class" / "tty");
        fs::create_directories(root / "dev");
        fs::create_directories(root / "devices" / "uart");
    }
    void TearDown() override { fs::remove_all(root); }
    void Add(const std::string& name, bool device, int type = -1, bool node = true)
    {
        const fs::path entry = root / "class" / "tty" / name;
        fs::create_directories(entry);
        if (device)
            fs::create_directory_symlink(root / "devices" / "uart", entry / "device");
        if (type >= 0)
            std::ofstream(entry / "type") << type << "\n";
        if (node)
            std::ofstream(root / "dev" / name) << "";
    }
    fs::path root;
};

TEST_F(FakeSysfs, ListsRealPortsInNaturalOrder)
{
    Add("ttyUSB10", true);
    Add("ttyUSB2", true);
    Add("ttyS0", true, 4);
    Add("ttyS1", true, 0);   // no UART behind it
    Add("ttyS12", true, 4);
    Add("ttyS3", true, 4);
    Add("ttyACM0", true);
    Add("tty0", false);      // a virtual console
    Add("ttyUSB7", true, -1, false);  // gone from /dev
    std::vector<std::string> names;
    ASSERT_TRUE(ListSerialPorts((root / "class" / "tty").string(), (root / "dev").string(), names));
    const std::string dev = (root / "dev").string() + "/";
    EXPECT_EQ(names, (std::vector<std::string>{dev + "ttyACM0", dev + "ttyS0", dev + "ttyS3",
                                               dev + "ttyS12", dev + "ttyUSB2",
                                               dev + "ttyUSB10"}));
}

TEST_F(FakeSysfs, MissingClassFolderIsNotAnEnumeration)
{
    std::vector<std::string> names{"kept"};
    EXPECT_FALSE(ListSerialPorts((root / "nothing").string(), "/dev", names));
    EXPECT_EQ(names.size(), 1u);
    EXPECT_TRUE(ListSerialPorts((root / "class" / "tty").string(), "/dev", names));
    EXPECT_TRUE(names.empty());
}

TEST(EnumeratePorts, CountsWhatTheSystemHas)
{
    PortList list;
    const int count = list.EnumeratePorts();
    EXPECT_EQ(count, list.PortCount());
    // Every port listed is a device of this machine, listed once.
    const std::vector<std::string> names(list.PortNames().begin(), list.PortNames().begin() + count);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    for (const auto& name : names) {
        EXPECT_EQ(name.rfind("/dev/", 0), 0u) << name;
        EXPECT_TRUE(std::filesystem::exists(name)) << name;
    }
}
