// The runner's answers to the port dialog: a script queues "choose ITEMTEXT" or
// "cancel" before the click that opens a serial port with no number.
#include "FormFixture.h"
#include "Pty.h"

#include "app/HeadlessRunner.h"
#include "app/PortDialogAnswers.h"
#include "port/ComPort.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

using namespace fakes;

namespace {

class PortDialogAnswersTest : public ::testing::Test {
  protected:
    PortDialogAnswersTest() {
        links.Link(3, pty.SlavePath());
        open.OnClick = [this] { com->SetOpen(true); };
    }
    ~PortDialogAnswersTest() override { com.reset(); }
    // Runs a script with a fresh port of no number, as rvex-tool's headless run does;
    // the exit status.
    int Run(const std::string& script) {
        com = std::make_unique<port::TComPort>(&loop);
        out.str("");
        app::HeadlessRunner runner(
            application, form, [] { return std::string("{}"); }, out);
        app::PortDialogAnswers answers(runner);
        std::istringstream in(script);
        runner.RunScript(in);
        answers.ReportUnused();
        return runner.ScriptErrors() == 0 ? 0 : 1;
    }

    ScratchDirectory dir;
    ComLinkFolder links;
    testsupport::PtyPair pty;
    winsys::EventLoop loop;
    winsys::TApplication application{loop};
    winsys::TForm form{"Form", "Form"};
    winsys::TButton open{&form, "Open", "Open"};
    std::unique_ptr<port::TComPort> com;
    std::ostringstream out;
};

TEST_F(PortDialogAnswersTest, AChosenPortIsOpened) {
    EXPECT_EQ(Run("choose COM3\nclick Open\n"), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_TRUE(com->GetOpen());
    EXPECT_EQ(com->GetComNumber(), 3);
}

TEST_F(PortDialogAnswersTest, MissingWrongAndLeftOverAnswersFailTheRun) {
    const std::string noPort = "error: The ComNumber property of the TComPort has not been set\n";
    struct Case {
        std::string script;
        int status;
        std::string output;
    };
    const Case cases[] = {
        {"cancel\nclick Open\n", 0, noPort},
        {"click Open\n", 1,
         "error: the dialog \"Select Port\" opened with no answer queued (put \"choose "
         "ITEMTEXT\" or \"cancel\" before the action that opens it)\n" +
             noPort},
        {"choose COM7\nclick Open\n", 1,
         "error: choose: no item \"COM7\" in the dialog \"Select Port\" (it lists COM3)\n" +
             noPort},
        {"choose COM3\n", 1, "error: choose COM3: no dialog took this answer\n"},
        {"choose\n", 1, "error: usage: choose ITEMTEXT\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.script), c.status) << c.script;
        EXPECT_EQ(out.str(), c.output) << c.script;
        EXPECT_FALSE(com->GetOpen()) << c.script;
    }
}

} // namespace
