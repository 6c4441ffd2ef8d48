// The commissioning record end to end: rvex-tool --headless records the session
// against a module on a pty of the test's own (good, exception and no reply; a pulled
// adapter) and against rvex-sim, prints its table, runs its checks and writes a
// report that a browser's kind of parser reads.
#include "PtyModule.h"
#include "ToolRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace e2e;
using ::testing::HasSubstr;
using ::testing::Not;

std::vector<std::string> FileLines(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, separator);)
        fields.push_back(f);
    if (!line.empty() && line.back() == separator) fields.push_back("");
    return fields;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    std::stringstream in(hex);
    for (std::string pair; in >> pair;)
        bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
    return bytes;
}

// The only file in folder whose name starts with prefix.
fs::path OnlyFile(const fs::path& folder, const std::string& prefix) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(prefix)) found.push_back(entry.path());
    EXPECT_EQ(found.size(), 1u) << prefix;
    return found.empty() ? fs::path() : found[0];
}

class CommissioningE2e : public ToolRun {
  protected:
    CommissioningE2e() : module_(MakeRegisters()) {
        LinkCom(3, module_.Path());
        Write("Table1.c", "Commissioning\n"
                          ">454 d 4<1.8.0><Nota, \"uno\">\n"
                          ">9000 d 4<9.9.9><fuori mappa>\n"
                          ">7000 l 2<0.0.0><muto>\n");
        module_.Refuse(8999, 2);
        module_.Ignore(6999);
    }
    static Registers MakeRegisters() {
        Registers regs;
        PutDouble(regs, 453, 12345.678);
        return regs;
    }
    fs::path Only(const std::string& prefix) { return OnlyFile(Work(), prefix); }

    PtyModule module_;
    // One round: rows 1, 2, 3 at 0.7, 1.4 and 2.1 s, the table's end at 2.8 s; after
    // the stop, row 3's missing reply is known within 1 s.
    static constexpr const char* OneRound = "pick ComboBox1 COM3\n"
                                            "click BitBtn4\n"
                                            "record on\n"
                                            "click BitBtn2\n"
                                            "wait 3100\n"
                                            "click Button42\n"
                                            "wait 1200\n";
};

TEST_F(CommissioningE2e, TheReadingsLogRecordsGoodExceptionAndNoReplyAndTheChecksPass) {
    int status = -1;
    RunScript(std::string(OneRound) + "record off\n"
                                      "table\n"
                                      "expect ok 1\n"
                                      "expect 1 12345 12346\n"
                                      "export grid.csv\n",
              &status);
    EXPECT_EQ(status, 0) << Output();
    EXPECT_THAT(Output(), Not(HasSubstr("error:"))) << Output();

    auto log = FileLines(Only("letture-"));
    ASSERT_GE(log.size(), 4u) << Output();
    EXPECT_EQ(log[0],
              "time,port,framing,row,address,type,count,obis,note,value,outcome,request,reply");
    const std::string port = "COM3 (" + module_.Path() + ")";
    EXPECT_THAT(log[1], HasSubstr("," + port +
                                  ",RTU,1,454,d,4,1.8.0,\"Nota, \"\"uno\"\"\",12345.678000,good," +
                                  SpacedHex(WithCrc(Bytes({10, 3, 0x01, 0xC5, 0, 4}))) + "," +
                                  SpacedHex(module_.Reply(453, 4))))
        << log[1];
    EXPECT_THAT(
        log[2],
        HasSubstr(",2,9000,d,4,9.9.9,fuori mappa,exception 02: illegal data address,exception 02: "
                  "illegal data address,"))
        << log[2];
    EXPECT_THAT(log[2], HasSubstr("," + SpacedHex(WithCrc(Bytes({10, 0x83, 2}))))) << log[2];
    EXPECT_THAT(log[3], HasSubstr(",3,7000,l,2,0.0.0,muto,no reply,no reply,")) << log[3];
    for (size_t i = 2; i < log.size(); ++i)
        EXPECT_LT(log[i - 1].substr(0, 23), log[i].substr(0, 23)) << "times rise";

    // The table: aligned columns with the last outcomes.
    EXPECT_THAT(
        Output(),
        HasSubstr(
            "Rif  Address  Value                               Type  Count  OBIS   Note         "
            "Outcome\n"
            "1    454      12345.678000                        d     4      1.8.0  Nota, \"uno\"  "
            "good\n"
            "2    9000     exception 02: illegal data address  d     4      9.9.9  fuori mappa  "
            "exception 02: illegal data address\n"
            "3    7000     no reply                            l     2      0.0.0  muto         no "
            "reply\n"))
        << Output();
    std::ifstream csv(Work() / "grid.csv");
    std::string header;
    std::getline(csv, header);
    EXPECT_EQ(header, "Rif,Address,Valore letto,t,n,OBIS code,Note di esempio\r");
}

TEST_F(CommissioningE2e, FailedChecksAndAFileThatCannotBeWrittenFailTheRun) {
    int status = -1;
    RunScript(std::string(OneRound) + "expect ok\n"
                                      "expect ok 1 3\n"
                                      "expect 1 0 100\n"
                                      "expect 2 0 100\n"
                                      "expect 1 12345 12346\n"
                                      "report /nonexistent-folder/r.html\n"
                                      "expect ok x\n"
                                      "expect 1 5 1\n",
              &status);
    EXPECT_EQ(status, 1) << Output();
    EXPECT_THAT(
        Output(),
        HasSubstr(
            "error: expect ok: row 2 (9000): exception 02: illegal data address; row 3 (7000): "
            "no reply\n"))
        << Output();
    EXPECT_THAT(Output(), HasSubstr("error: expect ok 1 3: row 3 (7000): no reply\n")) << Output();
    EXPECT_THAT(
        Output(),
        HasSubstr("error: expect 1 0 100: row 1 (454): value 12345.678000 is outside the range\n"))
        << Output();
    EXPECT_THAT(
        Output(),
        HasSubstr(
            "error: expect 2 0 100: row 2 (9000): value \"exception 02: illegal data address\" "
            "is not a number\n"))
        << Output();
    EXPECT_THAT(Output(), Not(HasSubstr("error: expect 1 12345 12346"))) << Output();
    EXPECT_THAT(
        Output(),
        HasSubstr(
            "error: report: cannot write /nonexistent-folder/r.html: No such file or directory\n"))
        << Output();
    EXPECT_THAT(Output(), HasSubstr("error: expect: bad row x\n")) << Output();
    EXPECT_THAT(Output(), HasSubstr("error: expect: MIN 5 is above MAX 1\n")) << Output();
}

TEST_F(CommissioningE2e, RecordingGoesOnThroughAnUnpluggedDeviceAndKeepsWhatWasSeen) {
    // Row 1 is answered; the module is gone at row 2's request; row 3's write fails.
    module_.VanishAfter(1);
    int status = -1;
    RunScript("pick ComboBox1 COM3\n"
              "click BitBtn4\n"
              "record on\n"
              "click BitBtn2\n"
              "wait 2600\n"
              "click BitBtn4\n"
              "wait 200\n"
              "table\n",
              &status);
    EXPECT_EQ(status, 0) << Output();
    EXPECT_THAT(Output(), HasSubstr("error: Failed to put entire block")) << Output();
    EXPECT_THAT(Output(), Not(HasSubstr("session recording stopped"))) << Output();

    auto traffic = FileLines(Only("traffico-"));
    ASSERT_GE(traffic.size(), 3u) << Output();
    std::vector<std::string> first = Split(traffic[0], '\t'), second = Split(traffic[1], '\t'),
                             third = Split(traffic[2], '\t');
    EXPECT_EQ(first[2], "tx");
    EXPECT_EQ(FromHex(first[3]), WithCrc(Bytes({10, 3, 0x01, 0xC5, 0, 4})));
    EXPECT_EQ(second[2], "rx");
    EXPECT_EQ(FromHex(second[3]), module_.Reply(453, 4));
    EXPECT_EQ(third[2], "tx"); // the request the module vanished at was on the line
    EXPECT_EQ(FromHex(third[3]), WithCrc(Bytes({10, 3, 0x23, 0x27, 0, 4})));
    auto readings = FileLines(Only("letture-"));
    ASSERT_GE(readings.size(), 2u);
    EXPECT_THAT(readings[1], HasSubstr(",1,454,d,4,1.8.0,\"Nota, \"\"uno\"\"\",12345.678000,good,"))
        << readings[1];
}

// The report, read by Python's HTML parser: its lines as html_tables.py prints them.
std::vector<std::string> ParseHtml(const fs::path& file) {
    RunResult r =
        RunProgram({"/usr/bin/python3", RVEX_SUPPORT_DIR "/html_tables.py", file.string()});
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<std::string> lines;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Starting(const std::vector<std::string>& lines,
                                  const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& line : lines)
        if (line.starts_with(prefix)) out.push_back(line.substr(prefix.size()));
    return out;
}

class SimCommissioning : public ToolRun {};

TEST_F(SimCommissioning, ARecordedRoundLeavesTwoLogsAndAReportABrowserReads) {
    LinkCom(3, "/rvex-nowhere/COM3");
    fs::remove(Com() / "COM3"); // the simulator publishes it
    SimProcess sim(Dir());
    ASSERT_TRUE(sim.Ready()) << sim.Output();
    Write("Table1.c", "Collaudo\n"
                      ">1468 M 3<1.8.0><<i&\"x\"'>\n"
                      ">1496 M 3<32.7.0><Tensione \xB0V>\n"
                      ">836 c 16<C.1.0><Matricola>\n");
    int status = -1;
    RunScript("pick ComboBox1 COM3\n"
              "click BitBtn4\n"
              "record on\n"
              "click BitBtn2\n"
              "wait 3100\n"
              "click Button42\n"
              "wait 400\n"
              "report rapporto.html\n"
              "expect ok\n",
              &status);
    EXPECT_EQ(status, 0) << Output();
    EXPECT_THAT(Output(), Not(HasSubstr("error:"))) << Output();
    EXPECT_EQ(FileLines(OnlyFile(Work(), "letture-")).size(), 4u);
    EXPECT_GE(FileLines(OnlyFile(Work(), "traffico-")).size(), 6u);

    std::ifstream raw(Work() / "rapporto.html");
    std::string html((std::istreambuf_iterator<char>(raw)), std::istreambuf_iterator<char>());
    EXPECT_THAT(html, Not(HasSubstr("<i&"))) << "a note became markup";
    auto parsed = ParseHtml(Work() / "rapporto.html");
    EXPECT_TRUE(Starting(parsed, "error\t").empty()) << Starting(parsed, "error\t")[0];
    EXPECT_TRUE(Starting(parsed, "title\t")[0].starts_with("Rapporto di collaudo 20"));
    auto readings = Starting(parsed, "row\treadings\t");
    ASSERT_EQ(readings.size(), 4u) << Output();
    EXPECT_TRUE(
        readings[0].starts_with("Rif\tAddress\tType\tCount\tOBIS\tNote\tValue\tOutcome\tRead at"));
    EXPECT_TRUE(readings[1].starts_with("1\t1468\tM\t3\t1.8.0\t<i&\"x\"'\t12345.678\tgood\t20"))
        << readings[1];
    EXPECT_TRUE(readings[2].starts_with("2\t1496\tM\t3\t32.7.0\tTensione \xC2\xB0V\t230.1\tgood\t"))
        << readings[2];
    EXPECT_TRUE(
        readings[3].starts_with("3\t836\tc\t16\tC.1.0\tMatricola\tRVEX-SN-12345678\tgood\t"))
        << readings[3];
    auto ports = Starting(parsed, "row\tports\t");
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_TRUE(ports[1].starts_with("RS485\tCOM3 (" + sim.Pty() + "), 19200,N,8,1")) << ports[1];
    auto counters = Starting(parsed, "row\tcounters\t");
    ASSERT_EQ(counters.size(), 5u);
    EXPECT_EQ(counters[0], "Requests sent\t3");
    EXPECT_EQ(counters[1], "Good replies\t3");
}

} // namespace
