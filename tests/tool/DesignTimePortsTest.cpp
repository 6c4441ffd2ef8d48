// The main window's two ports as its stored form makes them, for every front end.
#include "tool/DesignTimePorts.h"
#include "port/ComPort.h"
#include "port/WinsockPort.h"
#include "winsys/EventLoop.h"

#include <gtest/gtest.h>

namespace {

TEST(DesignTimePorts, CarryTheStoredFormsSettingsAndStayClosed) {
    winsys::EventLoop loop;
    winsys::EventLoop::SetCurrent(&loop);
    tool::TMainFormPorts ports = tool::MakeDesignTimePorts();

    auto* com = dynamic_cast<port::TComPort*>(ports.serial.get());
    ASSERT_NE(com, nullptr);
    EXPECT_EQ(com->Name, "ComPort1");
    EXPECT_EQ(com->GetComNumber(), 3);
    EXPECT_EQ(com->GetParity(), port::pEven);
    EXPECT_EQ(com->GetTraceName(), "Rs232.TRC");
    EXPECT_EQ(com->GetLogName(), "Rs232.LOG");
    EXPECT_FALSE(com->GetLogHex());
    EXPECT_TRUE(com->GetLogAllHex());
    EXPECT_EQ(com->GetCommNotificationLevel(), 3);
    EXPECT_EQ(com->Loop(), &loop);
    EXPECT_FALSE(com->GetOpen());

    auto* ip = dynamic_cast<port::TWinsockPort*>(ports.network.get());
    ASSERT_NE(ip, nullptr);
    EXPECT_EQ(ip->Name, "WinsockPort1");
    EXPECT_EQ(ip->GetDeviceLayer(), port::dlWinsock);
    EXPECT_EQ(ip->GetWsAddress(), "192.168.1.100");
    EXPECT_EQ(ip->GetWsPort(), "2101");
    EXPECT_FALSE(ip->GetWsTelnet());
    EXPECT_EQ(ip->GetParity(), port::pEven);
    EXPECT_EQ(ip->GetTraceName(), "IP.TRC");
    EXPECT_EQ(ip->GetLogName(), "IP.LOG");
    EXPECT_FALSE(ip->GetOpen());
    winsys::EventLoop::SetCurrent(nullptr);
}

} // namespace
