// The registry's list of serial ports: a key of the test's own for the rules, and the
// system's serial device map with the COM ports the test run mapped.
#include "WineHost.h"
#include "serial/PortList.h"
#include "serial/PortListWin32.h"
#include "serial/PortOrder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class RegistryKey : public testing::Test {
protected:
    void SetUp() override
    {
        path = "Software\\servo-debugger-tests\\ports-" + std::to_string(::GetCurrentProcessId());
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        ::RegCloseKey(key);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    }
    void SetText(const std::string& name, const std::string& data)
    {
        ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>(data.size() + 1));
    }
    std::string path;
    HKEY key = nullptr;
};

TEST_F(RegistryKey, ListsTheTextValuesInNaturalOrder)
{
    SetText("\\Device\\Serial9", "COM10");
    SetText("\\Device\\Serial1", "COM2");
    SetText("\\Device\\VCP0", "COM1");
    // Longer than any fixed buffer a driver's name was once expected to fit.
    SetText("\\Device\\" + std::string(200, 'U'), "COM300");
    SetText("\\Device\\Long", "COM" + std::string(40, '7'));
    SetText("\\Device\\Empty", "");
    const DWORD number = 5;
    ::RegSetValueExA(key, "\\Device\\Binary", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof number);
    std::vector<std::string> names;
    ASSERT_TRUE(ListRegistryPorts(HKEY_CURRENT_USER, path, names));
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM2", "COM10", "COM300",
                                               "COM" + std::string(40, '7')}));
}

TEST_F(RegistryKey, WithoutValuesListsNothing)
{
    std::vector<std::string> names{"left over"};
    ASSERT_TRUE(ListRegistryPorts(HKEY_CURRENT_USER, path, names));
    EXPECT_TRUE(names.empty());
}

TEST(Registry, MissingKeyIsNotAnEnumeration)
{
    std::vector<std::string> names{"kept"};
    EXPECT_FALSE(ListRegistryPorts(HKEY_CURRENT_USER, "Software\\servo-debugger-tests\\absent",
                                   names));
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

TEST(EnumeratePorts, ListsTheMappedPortsInNaturalOrder)
{
    const auto mapped = wine_host::MappedPorts();
    if (mapped.empty())
        GTEST_SKIP() << wine_host::kNoPortsReason;
    PortList list;
    const int count = list.EnumeratePorts();
    ASSERT_GE(count, static_cast<int>(mapped.size()));
    const auto begin = list.PortNames().begin();
    const auto end = begin + count;
    for (const auto& port : mapped) {
        const auto at = std::find(begin, end, port);
        ASSERT_NE(at, end) << port << " is not listed";
    }
    EXPECT_TRUE(std::is_sorted(begin, end, PortNameLess));
    EXPECT_EQ(list.EnumeratePorts(), count);  // a second enumeration counts the same
}

}  // namespace
