// The RCI client against Python's http.server, a server no one here wrote: it shows
// that the request is HTTP a real server takes and that its chunked reply is read.
#include "FormFixture.h"
#include "tool/RciSettings.h"
#include "tool/RciSocket.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fakes;
using namespace winsys;

extern char** environ;

namespace {

// /usr/bin/python3 running the peer script, stopped at the end.
class PythonPeer {
  public:
    PythonPeer() {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        char python[] = "/usr/bin/python3", script[] = RCI_PEER_SCRIPT;
        char* argv[] = {python, script, nullptr};
        if (posix_spawn(&pid_, python, &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // The script prints its port once it listens.
        std::string line;
        for (int i = 0; i < 100 && pid_ > 0 && line.find('\n') == std::string::npos; ++i) {
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buffer[64];
            ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            line.append(buffer, static_cast<size_t>(n));
        }
        ::close(out[0]);
        port_ = std::atoi(line.c_str());
    }
    ~PythonPeer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    int Port() const { return port_; }

  private:
    pid_t pid_ = -1;
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
    void TearDown() override { tool::RciPort = 80; }
    std::string Reply() {
        return std::string(form->RciReply, strnlen(form->RciReply, sizeof form->RciReply));
    }
    PythonPeer peer;
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
