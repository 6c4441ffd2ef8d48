// Tracing on for the window's serial port, one poll of a register over a pty, the port
// closed: the trace file holds the request under "Transmit: " and the reply under
// "Receive: ".
#include "FormFixture.h"
#include "Pty.h"
#include "Pump.h"
#include "port/ComPort.h"
#include "tool/DesignTimePorts.h"
#include "tool/Unit1.h"
#include "winsys/Application.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

using namespace fakes;

namespace {

// Runs the loop until the master has received n bytes (bounded as PumpUntil is).
std::string ReceiveAtMaster(winsys::EventLoop& loop, int master, size_t n) {
    std::string got;
    testsupport::PumpUntil(loop, [&] {
        char buf[64];
        const ssize_t r = read(master, buf, sizeof buf);
        if (r > 0) got.append(buf, static_cast<size_t>(r));
        return got.size() >= n;
    });
    return got;
}

TEST(TraceEndToEnd, APollOverAPtyIsTracedAndWrittenAtClose) {
    ScratchDirectory dir;
    ComLinkFolder links;
    testsupport::PtyPair pty;
    links.Link(3, pty.SlavePath());
    WriteGlyphs();
    WriteFile("Table1.c", "Trace test\n>454 i 1<1.8.0><one register>\n");

    winsys::EventLoop loop;
    winsys::TApplication application(loop);
    tool::TMainForm form(loop, tool::MakeDesignTimePorts());
    auto* com = dynamic_cast<port::TComPort*>(form.ComPort1);
    ASSERT_NE(com, nullptr);
    application.Guard([&] { form.FormCreate(); });
    ASSERT_EQ(form.StringGrid3.Cell(1, 1), "454");

    com->SetTracing(port::tlOn);
    com->SetTraceHex(true);
    com->SetComNumber(3);
    com->SetOpen(true);
    form.StringGrid3.SetRow(1);
    form.StringGrid3.DblClick();

    const std::string request = ReceiveAtMaster(loop, pty.Master(), 8);
    ASSERT_EQ(request, std::string("\x0A\x03\x01\xC5\x00\x01\x94\xB0", 8));
    const std::string reply("\x0A\x03\x02\x00\x2A\x9C\x5A", 7);
    ASSERT_EQ(write(pty.Master(), reply.data(), reply.size()), 7);
    EXPECT_TRUE(testsupport::PumpUntil(loop, [&] { return form.StringGrid3.Cell(2, 1) == "42"; }));

    com->SetOpen(false);
    EXPECT_EQ(com->GetTracing(), port::tlOff);
    EXPECT_EQ(ReadFile("Rs232.TRC"), "Transmit: \n"
                                     "[0A][03][01][C5][00][01][94][B0]\n"
                                     "\n"
                                     "Receive: \n"
                                     "[0A][03][02][00]*[9C]Z");
    EXPECT_TRUE(application.Errors().Messages().empty());
}

} // namespace
