// The RCI client against Python's http.server, a server no one here wrote: it shows
// that the request is HTTP a real server takes and that its chunked reply is read.
#include "ChildProcess.h"
#include "FormFixture.h"
#include "tool/RciSettings.h"
#include "tool/RciSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

using namespace fakes;
using namespace winsys;

namespace {

// /usr/bin/python3 running the peer script, which prints its port once it listens;
// stopped at the end.
class PythonPeer {
  public:
    PythonPeer() : child_({"/usr/bin/python3", RCI_PEER_SCRIPT}, StdoutOnly()) {
        if (child_.WaitFor("", std::chrono::seconds(10)))
            port_ = std::atoi(child_.Lines()[0].c_str());
    }
    int Port() const { return port_; }

  private:
    static testsupport::ChildOptions StdoutOnly() {
        testsupport::ChildOptions options;
        options.captureStderr = false;
        return options;
    }
    testsupport::ChildProcess child_;
    int port_ = 0;
};

class RciPeer : public FormFixture {
  protected:
    void SetUp() override {
        ASSERT_GT(peer.Port(), 0) << "the peer " RCI_PEER_SCRIPT
                                     " did not start with /usr/bin/python3";
        form->Edit4.SetText("127.0.0.1");
        tool::RciPort = peer.Port();
    }
    std::string Reply() {
        return std::string(form->RciReply, strnlen(form->RciReply, sizeof form->RciReply));
    }
    PythonPeer peer;
    testsupport::ScopedValue<int> rciPort{tool::RciPort, tool::RciPort};
};

const char* const Pins = "<pin1>asserted</pin1><pin2>unasserted</pin2><pin3>asserted</pin3>";

TEST_F(RciPeer, ThePeerAcceptsTheAuthorizedPostAndItsChunkedReplyIsReadWhole) {
    std::string request =
        "<rci_request version=\"1.1\"><query_state/>" + std::string(1400, '.') + "</rci_request>";
    ASSERT_LE(request.size(), 1500u);
    WriteFile("request.txt", request);
    std::strcpy(form->RciFileName, "request.txt");
    form->Button28.Click();
    EXPECT_EQ(form->StatusBar1.Text(), "R-Vex test");
    EXPECT_EQ(Reply(), "<rci_reply><echo>" + request + "</echo>" + Pins + "</rci_reply>");
    EXPECT_TRUE(form->Timer4.Enabled());
    std::string log = ReadFile("logfilex.txt");
    EXPECT_NE(log.find("\r\n\r\nHTTP/1.1 200 OK\r\n"), std::string::npos);
    EXPECT_NE(log.find("Transfer-Encoding: chunked\r\n"), std::string::npos);
}

TEST_F(RciPeer, ReadStatusShowsThePinsThePeerReports) {
    WriteFile("RCI-queryGB.txt", "<rci_request version=\"1.1\"><query_state/></rci_request>");
    form->BitBtn1.Click();
    EXPECT_EQ(form->StatusBar1.Text(), "    ");
    EXPECT_EQ(form->Label31.Caption(), "PIN1->Asserted   (Reset)");
    EXPECT_EQ(form->Label32.Caption(), "PIN2->Unasserted (Modbus) ");
    EXPECT_EQ(form->Label33.Caption(), "PIN3->Asserted (Interface_RS485)");
}

} // namespace
