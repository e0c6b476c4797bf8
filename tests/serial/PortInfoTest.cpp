// Port descriptions and low latency on a fake sysfs and /dev tree, and on real
// pseudo-terminals.
#include "FakeSystemTree.h"
#include "PtyPair.h"
#include "serial/CZNComm.h"
#include "serial/PortInfo.h"
#include "serial/PortList.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// One port of each kind the port list meets.
class PortTree : public testing::Test {
protected:
    void SetUp() override
    {
        tree.Tty("ttyUSB0", tree.UsbAdapter("ttyUSB0", "Bench\tAdapter  ", 16));
        tree.ById("usb-Bench_Adapter_A1-if00-port0", "ttyUSB0");

        // A USB modem-class port: the interface is its device; no latency timer.
        const auto usb = tree.Device("pci0000:00/0000:00:14.0/usb1/1-3");
        tree.Write(usb / "idVendor", "1209\n");
        tree.Write(usb / "product", "Servo Bridge\n");
        const auto interface = tree.Device("pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0");
        tree.Bind(interface, "usb", "cdc_acm");
        tree.Tty("ttyACM0", interface);
        tree.ById("usb-Servo_Bridge-if00", "ttyACM0");

        // An on-board UART behind the serial core's port and controller devices.
        const auto pnp = tree.Device("pnp0/00:00");
        tree.Bind(pnp, "pnp", "serial");
        const auto ctrl = tree.Device("pnp0/00:00/00:00:0");
        tree.Bind(ctrl, "serial-base", "ctrl");
        const auto port = tree.Device("pnp0/00:00/00:00:0/00:00:0.0");
        tree.Bind(port, "serial-base", "port");
        tree.Tty("ttyS0", port, 4);

        // Platform UART entries: one without a UART behind it (type 0), one with.
        const auto platform = tree.Device("platform/serial8250");
        tree.Bind(platform, "platform", "serial8250");
        tree.Tty("ttyS1", platform, 0);
        tree.Tty("ttyS2", platform, 4);

        tree.Tty("ptmx", {});  // no device: not a port
    }
    std::string Dev(const std::string& name) const { return (tree.Dev() / name).string(); }

    FakeSystemTree tree;
};

TEST_F(PortTree, DescribesEachPortInTheListsOrder)
{
    const auto ports = DescribePorts(tree.roots);
    struct Expected {
        std::string device, byId, driver, product;
        int latency;
        bool usb;
    } expected[] = {
        {Dev("ttyUSB0"), Dev("serial/by-id/usb-Bench_Adapter_A1-if00-port0"), "usb_adapter",
         "Bench Adapter", 16, true},
        {Dev("ttyS2"), "", "serial8250", "", -1, false},
        {Dev("ttyS0"), "", "serial", "", -1, false},
        {Dev("ttyACM0"), Dev("serial/by-id/usb-Servo_Bridge-if00"), "cdc_acm", "Servo Bridge", -1,
         true},
    };
    ASSERT_EQ(ports.size(), std::size(expected));
    for (size_t i = 0; i < ports.size(); ++i) {
        const auto& e = expected[i];
        EXPECT_EQ(ports[i].device, e.device);
        EXPECT_EQ(ports[i].byIdLink, e.byId) << e.device;
        EXPECT_EQ(ports[i].driver, e.driver) << e.device;
        EXPECT_EQ(ports[i].product, e.product) << e.device;
        EXPECT_EQ(ports[i].latencyMs, e.latency) << e.device;
        EXPECT_EQ(ports[i].usb, e.usb) << e.device;
    }
}

TEST_F(PortTree, ANameResolvesThroughItsLink)
{
    const std::string link = Dev("serial/by-id/usb-Bench_Adapter_A1-if00-port0");
    const PortInfo info = DescribePort(link, tree.roots);
    EXPECT_EQ(info.device, link);
    EXPECT_EQ(info.byIdLink, link);
    EXPECT_EQ(info.driver, "usb_adapter");
    EXPECT_EQ(info.latencyMs, 16);
    EXPECT_FALSE(info.latencyFile.empty());

    for (const std::string& unknown : {Dev("ttyUSB9"), std::string(), Dev("ttyS1/x")}) {
        const PortInfo none = DescribePort(unknown, tree.roots);
        EXPECT_EQ(none.device, unknown);
        EXPECT_TRUE(none.driver.empty() && none.byIdLink.empty() && !none.usb) << unknown;
        EXPECT_EQ(none.latencyMs, -1);
    }
}

TEST_F(PortTree, EnumeratePortsReadsTheGivenTree)
{
    PortList list;
    list.SetSystemRoots(tree.roots);
    ASSERT_EQ(list.EnumeratePorts(), 4);
    EXPECT_EQ(list.PortNames()[0], Dev("ttyACM0"));
    EXPECT_EQ(list.PortNames()[3], Dev("ttyUSB0"));
}

TEST(LatencyTimer, ReadsWholeMillisecondsOnly)
{
    FakeSystemTree tree;
    const std::string file = (tree.root / "latency_timer").string();
    const std::pair<const char*, int> cases[] = {
        {"16\n", 16}, {"1", 1}, {"0\n", 0}, {"", -1}, {"x\n", -1}, {"-3\n", -1},
    };
    for (const auto& [text, ms] : cases) {
        tree.Write(file, text);
        EXPECT_EQ(ReadLatencyTimer(file), ms) << text;
    }
    EXPECT_TRUE(WriteLatencyTimer(file, 1));
    EXPECT_EQ(ReadLatencyTimer(file), 1);
    EXPECT_EQ(ReadLatencyTimer((tree.root / "missing").string()), -1);
    EXPECT_FALSE(WriteLatencyTimer((tree.root / "no" / "such").string(), 1));
}

TEST(OpenLatency, APseudoTerminalOpensWithNoLatency)
{
    PtyPair pty;
    CZNComm comm;
    ASSERT_EQ(comm.Open(pty.path), 1);
    EXPECT_EQ(comm.Timing().latencyMs, 0);  // no adapter: the automatic time-out adds nothing
    EXPECT_FALSE(comm.Timing().usb);
    comm.SetBaudRate(115200);
    const uint8_t b[2] = {0x55, 0xAA};
    EXPECT_EQ(comm.Write(b, 2), 2);
    EXPECT_EQ(pty.Receive(2), (std::vector<uint8_t>{0x55, 0xAA}));
}

TEST(OpenLatency, AUsbAdapterIsSetToOneMillisecond)
{
    // The tree describes the pseudo-terminal as a USB adapter; the flag request fails on it
    // silently, the latency timer file is written.
    struct Case {
        int before;
        int after;
    } cases[] = {{16, 1}, {1, 1}, {-1, -1}};
    for (const auto& c : cases) {
        FakeSystemTree tree;
        PtyPair pty;
        const auto port = tree.UsbAdapter("ttyUSB0", "Bench Adapter", c.before);
        tree.Tty(fs::path(pty.path).filename().string(), port, -1, false);
        CZNComm comm;
        comm.SetSystemRoots(tree.roots);
        ASSERT_EQ(comm.Open(pty.path), 1);
        EXPECT_TRUE(comm.Timing().usb) << c.before;
        EXPECT_EQ(comm.Timing().latencyMs, c.after) << c.before;
        if (c.before >= 0) {
            EXPECT_EQ(ReadLatencyTimer((port / "latency_timer").string()), 1);
        }
        comm.Close();
        EXPECT_EQ(comm.Timing().latencyMs, -1);
        EXPECT_FALSE(comm.Timing().usb);
    }
}

}  // namespace
