// The tool in a copy of the site folder against rvex-sim: the configuration texts, the
// meter's sign-on, the LAN module's pin status and reset, over the simulator's COM3.
#include "ToolRun.h"

#include <gmock/gmock.h>

#include <regex>

namespace {

using namespace e2e;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class SiteE2e : public ToolRun {
  protected:
    void SetUp() override {
        LinkCom(3, "/rvex-nowhere/COM3");
        fs::remove(Com() / "COM3"); // the simulator publishes it
        sim = std::make_unique<SimProcess>(Dir());
        ASSERT_TRUE(sim->Ready()) << sim->Output();
        // The site's Config1.c points the RCI client at the simulator's usual port.
        std::ifstream in(Work() / "Config1.c");
        std::string config((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        config = std::regex_replace(config, std::regex("RCI_Port: *[0-9]+"),
                                    "RCI_Port: " + std::to_string(sim->Port("rci")));
        Write("Config1.c", config);
    }
    static constexpr const char* Open = "pick ComboBox1 COM3\nclick BitBtn4\n";
    std::unique_ptr<SimProcess> sim;
};

TEST_F(SiteE2e, ReadReleaseAndReadConfigShowTheModulesTextsAfterConfig) {
    auto out = RunScript(std::string(Open) + "click Button31\n"
                                             "wait 500\n"
                                             "click Button20\n"
                                             "wait 1200\n"
                                             "dump Memo2\n"
                                             "click Button17\n"
                                             "wait 1200\n"
                                             "dump Memo2 Label32\n");
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    auto memo = out.Dumps("Memo2");
    ASSERT_EQ(memo.size(), 2u) << Output();
    EXPECT_THAT(Lines(memo[0]), Contains(HasSubstr("Release R-VEX SIM FW 1.9"))) << Output();
    EXPECT_THAT(Lines(memo[1]), Contains(HasSubstr("ModAdd"))) << Output();
    EXPECT_EQ(Field(out.Dump("Label32"), "text"), "PIN2->Asserted   (Debug_Config )") << Output();
}

// The time stamp (seconds) of the simulator's log lines that contain needle.
std::vector<double> Stamps(const std::string& log, const std::string& needle) {
    std::vector<double> out;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.find(needle) != std::string::npos && line.find(" rx ") != std::string::npos)
            out.push_back(std::stod(line));
    return out;
}

TEST_F(SiteE2e, TheMetersIdentificationAndReadoutAppearInTheMonitor) {
    // A second Read during the 1500 ms delay of the site's Config1.c does not restart it.
    auto out = RunScript(std::string(Open) + "click Button21\n"
                                             "wait 700\n"
                                             "click Button21\n"
                                             "wait 3500\n"
                                             "dump Memo2\n");
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    const auto memo = Lines(out.Dump("Memo2"));
    EXPECT_THAT(memo, Contains(HasSubstr("/RVX5RVEX-SIM-M1"))) << Output();
    EXPECT_THAT(memo, Contains(HasSubstr("1.8.0("))) << Output();
    ASSERT_TRUE(sim->WaitFor("050")) << sim->Output();
    auto requests = Stamps(sim->Output(), "/?0000!");
    auto acks = Stamps(sim->Output(), "050");
    ASSERT_EQ(requests.size(), 2u) << sim->Output();
    ASSERT_EQ(acks.size(), 1u) << sim->Output();
    EXPECT_NEAR(acks[0] - requests[0], 1.5, 0.4) << sim->Output();
}

TEST_F(SiteE2e, ReadStatusShowsThePinsTheSimulatorHolds) {
    auto out = RunScript("click BitBtn1\ndump Label31 Label32 Label33 Shape2 Shape3\n");
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    EXPECT_EQ(Field(out.Dump("Label31"), "text"), "PIN1->Unasserted ( Run )") << Output();
    EXPECT_EQ(Field(out.Dump("Label32"), "text"), "PIN2->Unasserted (Modbus) ") << Output();
    EXPECT_EQ(Field(out.Dump("Label33"), "text"), "PIN3->Asserted (Interface_RS485)") << Output();
    EXPECT_EQ(Field(out.Dump("Shape3"), "brush"), "clMoneyGreen") << Output();
}

TEST_F(SiteE2e, HardwareResetSilencesTheModule) {
    Write("Table1.c", "one row\n>1468 M 3<1.8.0><En. attiva imp.>\n");
    auto out = RunScript(std::string(Open) + "click Button29\n"
                                             "wait 500\n"
                                             "dump Label31\n"
                                             "dblclick StringGrid3 1\n"
                                             "wait 900\n"
                                             "dump StringGrid3\n");
    EXPECT_THAT(out.Errors(), IsEmpty()) << Output();
    EXPECT_EQ(Field(out.Dump("Label31"), "text"), "PIN1->Asserted   (Reset)") << Output();
    EXPECT_TRUE(sim->WaitFor("reset, no reply")) << sim->Output();
    const Json grid = out.Dump("StringGrid3");
    ASSERT_FALSE(grid.empty()) << Output();
    EXPECT_EQ(Cell(grid, 2, 1), "") << "the polled row is blanked and stays so";
}

} // namespace
