// servoctl ports on a fake tree, and ports named by a by-id style link.
#include "BusFixture.h"
#include "FakeSystemTree.h"
#include "cli/PortListing.h"
#include "cli/ServoCtl.h"
#include "serial/PortList.h"

#include <algorithm>
#include <sstream>

namespace {

TEST(PortListing, OneTabSeparatedLinePerPortWithDashesForTheUnknown)
{
    FakeSystemTree tree;
    tree.Tty("ttyUSB1", tree.UsbAdapter("ttyUSB1", "Bench Adapter", 16));
    tree.ById("usb-Bench_Adapter_B7-if00-port0", "ttyUSB1");
    tree.Tty("ttyUSB0", tree.UsbAdapter("ttyUSB0", "", -1, "1-4"));
    const auto uart = tree.Device("platform/serial8250");
    tree.Bind(uart, "platform", "serial8250");
    tree.Tty("ttyS0", uart, 4);
    tree.Tty("ttyS1", uart, 0);
    std::ostringstream out;
    PrintPorts(out, tree.roots);
    const std::string dev = tree.Dev().string() + "/";
    EXPECT_EQ(out.str(), dev + "ttyUSB1\t" + dev +
                             "serial/by-id/usb-Bench_Adapter_B7-if00-port0\tusb_adapter\t16\t"
                             "Bench Adapter\n" +
                             dev + "ttyUSB0\t-\tusb_adapter\t-\t-\n" +
                             dev + "ttyS0\t-\tserial8250\t-\t-\n");
    std::ostringstream none;
    FakeSystemTree empty;
    PrintPorts(none, empty.roots);
    EXPECT_EQ(none.str(), "");
}

TEST(PortListing, ServoctlListsThePortsTheWindowLists)
{
    std::ostringstream out, err;
    ASSERT_EQ(RunServoCtl({"servoctl", "ports"}, out, err), 0) << err.str();
    PortList list;
    list.EnumeratePorts();
    std::istringstream lines(out.str());
    // The window lists the last name first.
    for (int i = list.PortCount() - 1; i >= 0; --i) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << i;
        EXPECT_EQ(line.substr(0, line.find('\t')), list.PortNames()[static_cast<size_t>(i)]);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line;
    }
    std::string extra;
    EXPECT_FALSE(std::getline(lines, extra)) << extra;
}

class LinkedBus : public BusFixture {};

TEST_F(LinkedBus, ALinkOpensTheBusAndIsExclusive)
{
    AddServo(3, kOsprey);
    StartBus();
    comm.Close();
    FakeSystemTree tree;
    const std::string link = (tree.Dev() / "serial" / "by-id" / "usb-Virtual_Bus-if00").string();
    std::filesystem::create_symlink(bus->DevicePath(), link);

    CZNComm first, second;
    ASSERT_EQ(first.Open(link), 1);
    first.SetBaudRate(115200);
    ZNS linked(first);
    uint8_t key[9];
    EXPECT_EQ(linked.ReadMemory(3, 0, key, 9).count, 9);
    // Held through the link: neither the device nor the link opens a second time.
    EXPECT_EQ(second.Open(bus->DevicePath()), 0);
    EXPECT_EQ(second.Open(link), 0);
    std::ostringstream out, err;
    EXPECT_EQ(RunServoCtl({"servoctl", "-p", link, "scan", "--to", "3"}, out, err), 1);
    first.Close();
    EXPECT_EQ(second.Open(link), 1);
    second.Close();
    EXPECT_EQ(RunServoCtl({"servoctl", "-p", link, "-t", "auto", "--catalogue", catalogueFile,
                           "scan", "--to", "3"},
                          out, err),
              0) << err.str();
    EXPECT_EQ(out.str(), "3\tOsprey-40H\n");
}

}  // namespace
