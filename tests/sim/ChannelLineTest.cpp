// The virtual bus on an in-process line (the window's demo bus where there are no
// pseudo-terminals, _WIN32 among them), through the port that opens it by name.
#include "CatalogueCopy.h"
#include "protocol/ZNS.h"
#include "serial/CZNComm.h"
#include "serial/ChannelPort.h"
#include "share/PortByName.h"
#include "sim/VirtualBus.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr const char* kLine = "demo://test";

class ChannelBus : public testing::Test {
protected:
    void SetUp() override
    {
        ServoSpec kestrel;
        kestrel.id = 1;
        kestrel.model = "Kestrel-12";
        kestrel.baudCode = 4;  // 115200
        ServoSpec osprey = kestrel;
        osprey.id = 7;
        osprey.model = "Osprey-40H";
        osprey.baudCode = 0;  // 1000000
        std::string error;
        ASSERT_TRUE(bus.AddServo(kestrel, error)) << error;
        ASSERT_TRUE(bus.AddServo(osprey, error)) << error;
        ASSERT_TRUE(bus.Start(error)) << error;
        ASSERT_EQ(port.Open(kLine), 1);
        port.SetTimeoutMs(50);
        port.SetBaudRate(115200);
    }
    int ReadKey(uint8_t id)
    {
        uint8_t key[9];
        return servo.ReadMemory(id, 0, key, 9).count;
    }

    void TearDown() override { std::filesystem::remove(catalogueFile); }

    std::string catalogueFile = CatalogueCopy("channel");
    ModelCatalogue catalogue{catalogueFile};
    std::shared_ptr<ByteChannel> line = std::make_shared<ByteChannel>();
    VirtualBus bus{catalogue, line, kLine};
    ChannelPort port{kLine, line};
    ZNS servo{port};
};

TEST_F(ChannelBus, ServosAnswerAtTheirOwnRate)
{
    EXPECT_EQ(bus.DevicePath(), kLine);
    EXPECT_EQ(ReadKey(1), 9);
    EXPECT_EQ(ReadKey(7), 0);
    port.SetBaudRate(1000000);
    EXPECT_EQ(port.BaudRate(), 1000000);
    EXPECT_FALSE(port.RateRefused());
    EXPECT_EQ(ReadKey(1), 0);
    EXPECT_EQ(ReadKey(7), 9);
}

TEST_F(ChannelBus, OneHolderAtATimeAndOtherNamesAreDevices)
{
    ChannelPort second{kLine, line};
    EXPECT_EQ(second.Open(kLine), 0);
    EXPECT_EQ(second.LastOpenError().reason, OpenError::Busy);
    port.Close();
    EXPECT_EQ(second.Open(kLine), 1);
    second.Close();
    // The program's port opens the line by its name, and any other name as a serial device,
    // opened (or not) as the plain port would.
    PortByName byName(std::make_unique<CZNComm>(), std::make_unique<ChannelPort>(kLine, line));
    const std::string missing = (std::filesystem::temp_directory_path() / "no-such-port").string();
    EXPECT_EQ(byName.Open(missing), 0);
    EXPECT_EQ(byName.LastOpenError().reason, OpenError::NoSuchDevice);
    EXPECT_FALSE(byName.IsOpen());
    EXPECT_EQ(byName.Open(kLine), 1);
    EXPECT_TRUE(byName.IsOpen());
    byName.Close();
    // The line's port itself knows no other name.
    EXPECT_EQ(port.Open(missing), 0);
    EXPECT_EQ(port.LastOpenError().reason, OpenError::NoSuchDevice);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(ChannelBus, ABusThatGoesIsAPortGoneUntilReopened)
{
    ASSERT_EQ(ReadKey(1), 9);
    bus.Vanish();
    EXPECT_EQ(ReadKey(1), 0);
    EXPECT_TRUE(port.Gone());
    EXPECT_FALSE(port.IsOpen());
    uint8_t byte = 0;
    EXPECT_EQ(port.Write(&byte, 1), 0);
    port.Close();
    EXPECT_FALSE(port.Gone());
    EXPECT_EQ(port.Open(kLine), 0);  // nothing there while the bus is away
    EXPECT_EQ(port.LastOpenError().reason, OpenError::NoSuchDevice);
    std::string error;
    ASSERT_TRUE(bus.Return(error)) << error;
    ASSERT_EQ(port.Open(kLine), 1);
    port.SetBaudRate(115200);
    EXPECT_EQ(ReadKey(1), 9);
}

}  // namespace
