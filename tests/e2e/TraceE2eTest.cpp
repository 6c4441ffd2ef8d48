// Tracing on for the window's serial port, one poll of a register over a pty, the port
// closed: the trace file holds the request under "Transmit: " and the reply under
// "Receive: ".
#include "FormFixture.h"
#include "port/ComPort.h"
#include "tool/DesignTimePorts.h"
#include "tool/Unit1.h"
#include "winsys/Application.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

using namespace fakes;

namespace {

class PtyPair {
  public:
    PtyPair() {
        char name[128];
        EXPECT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        slavePath_ = name;
        termios raw{};
        tcgetattr(master_, &raw);
        cfmakeraw(&raw);
        tcsetattr(master_, TCSANOW, &raw);
        fcntl(master_, F_SETFL, O_NONBLOCK);
    }
    ~PtyPair() {
        close(master_);
        close(slave_);
    }
    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

  private:
    int master_ = -1, slave_ = -1;
    std::string slavePath_;
};

// Runs the loop until the master has received n bytes (at most about 3 s).
std::string ReceiveAtMaster(winsys::EventLoop& loop, int master, size_t n) {
    std::string got;
    for (int i = 0; i < 300 && got.size() < n; ++i) {
        loop.RunFor(10);
        char buf[64];
        ssize_t r = read(master, buf, sizeof buf);
        if (r > 0) got.append(buf, r);
    }
    return got;
}

TEST(TraceEndToEnd, APollOverAPtyIsTracedAndWrittenAtClose) {
    ScratchDirectory dir;
    ComLinkFolder links;
    PtyPair pty;
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
    for (int i = 0; i < 100 && form.StringGrid3.Cell(2, 1) != "42"; ++i) loop.RunFor(10);
    EXPECT_EQ(form.StringGrid3.Cell(2, 1), "42");

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
