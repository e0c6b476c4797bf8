// The serial port before it is opened, on every system: each call does nothing and says so.
#include "serial/CZNComm.h"

#include <gtest/gtest.h>

TEST(ClosedPort, DoesNothingAndSaysSo)
{
    CZNComm comm;
    uint8_t b[4] = {1, 2, 3, 4};
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.Read(b, 4), 0);
    EXPECT_EQ(comm.Write(b, 4), 0);
    EXPECT_EQ(comm.SetBaudRate(57600), 57600);
    EXPECT_EQ(comm.BaudRate(), 1000000);
    EXPECT_EQ(comm.PurgeInput(), 0);
    EXPECT_EQ(comm.SetTimeouts(50), 0);
    EXPECT_EQ(comm.Close(), 0);
    EXPECT_EQ(comm.TimeoutMs(), 100);
    EXPECT_EQ(comm.PortCount(), -1);
}
