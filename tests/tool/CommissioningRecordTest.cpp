// The commissioning record through the main window with fake ports: the traffic and
// readings logs as files, a log that cannot be written, the grid's export, the table
// and the scripted checks; and the text helpers they stand on (CSV quoting, UTF-8).
#include "CaseName.h"
#include "CommissioningFixture.h"
#include "tool/CsvText.h"
#include "tool/TextEncoding.h"
#include "winsys/Exception.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace fakes;
namespace fs = std::filesystem;

namespace {

// ---- Text helpers ----

struct CsvCase {
    const char* what;
    const char* field;
    const char* written;
};

const CsvCase CsvCases[] = {
    {"plain", "En. attiva T1", "En. attiva T1"},
    {"empty", "", ""},
    {"comma", "a,b", "\"a,b\""},
    {"quotes", "say \"hi\"", "\"say \"\"hi\"\"\""},
    {"line break", "one\r\ntwo", "\"one\r\ntwo\""},
    {"blanks kept", "  x ", "  x "},
};

class Csv : public ::testing::TestWithParam<CsvCase> {};

TEST_P(Csv, FieldsAreQuotedOnlyWhereTheyMustBe) {
    EXPECT_EQ(tool::CsvField(GetParam().field), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Cases, Csv, ::testing::ValuesIn(CsvCases),
                         [](const auto& info) { return CaseName(info.param.what); });

TEST(Csv, ALineJoinsItsFieldsAndEndsInCrLf) {
    EXPECT_EQ(tool::CsvLine({"1", "a,b", ""}), "1,\"a,b\",\r\n");
}

struct Utf8Case {
    const char* what;
    std::string in;
    std::string out;
};

const Utf8Case Utf8Cases[] = {
    {"ascii", "Tensione L1", "Tensione L1"},
    {"valid two bytes",
     "Temp \xC2\xB0"
     "C",
     "Temp \xC2\xB0"
     "C"},
    {"valid three bytes", "\xE2\x82\xAC 5", "\xE2\x82\xAC 5"},
    {"latin1 degree",
     "Temp \xB0"
     "C",
     "Temp \xC2\xB0"
     "C"},
    {"latin1 e grave", "Modalit\xE8", "Modalit\xC3\xA8"},
    {"cut short sequence", "ab\xC3", "ab\xC3\x83"},
    {"overlong slash", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
    {"surrogate", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
};

class Utf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8, ValidUtf8StaysAndAnyOtherTextIsReadAsLatin1) {
    EXPECT_EQ(tool::ToUtf8(GetParam().in), GetParam().out);
    EXPECT_TRUE(tool::IsValidUtf8(tool::ToUtf8(GetParam().in)));
}

INSTANTIATE_TEST_SUITE_P(Cases, Utf8, ::testing::ValuesIn(Utf8Cases),
                         [](const auto& info) { return CaseName(info.param.what); });

TEST(Html, EscapingLeavesNoMarkupAndShowsControlBytes) {
    EXPECT_EQ(tool::HtmlEscape("<script>alert('x') & \"y\"</script>"),
              "&lt;script&gt;alert(&#39;x&#39;) &amp; &quot;y&quot;&lt;/script&gt;");
    EXPECT_EQ(tool::HtmlEscape("\x02"
                               "1.8.0(1)\r\n\x03\xB0"),
              "\xE2\x90\x82"
              "1.8.0(1)\r\n\xE2\x90\x83\xC2\xB0");
}

TEST(ValueNumber, OnlyAWholeDecimalNumberCounts) {
    EXPECT_EQ(tool::ValueNumber(" 12345.678 "), 12345.678);
    EXPECT_EQ(tool::ValueNumber("-3"), -3.0);
    for (const char* text :
         {"", "     ", "0x1A05", "exception 02: illegal data address", "nan", "inf", "1.5V"})
        EXPECT_FALSE(tool::ValueNumber(text).has_value()) << text;
}

// ---- Through the main window ----

// Tab-separated fields of a log line.
std::vector<std::string> Fields(const std::string& line, char separator = '\t') {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, separator);)
        fields.push_back(f);
    return fields;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    std::stringstream in(hex);
    for (std::string pair; in >> pair;)
        bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
    return bytes;
}

std::string TheOnly(const char* prefix) {
    std::string found;
    for (const auto& entry : fs::directory_iterator("."))
        if (entry.path().filename().string().starts_with(prefix)) {
            EXPECT_TRUE(found.empty()) << "more than one " << prefix;
            found = entry.path().filename().string();
        }
    return found;
}

using Record = CommissioningFixture;

TEST_F(Record, TheTrafficLogHoldsExactlyTheBytesOnTheLineInOrderAcrossAMonitorClear) {
    commissioning->StartRecording();
    std::string sent, received;
    sent += RequestRow(1);
    const std::string reply = RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09});
    serial->Deliver(reply.substr(0, 4)); // two receive events of one reply
    Pump();
    serial->Deliver(reply.substr(4));
    Pump();
    Advance(300);
    received += reply;
    form->Memo2.DblClick(); // the monitor is cleared; the log is not
    form->Button20.Click(); // read release: a text request
    sent += serial->TakeWritten();
    Reply("Release R-VEX \xB0\r\n");
    received += "Release R-VEX \xB0\r\n";

    std::vector<std::string> lines = Lines(ReadFile(commissioning->TrafficLogPath()));
    ASSERT_EQ(lines.size(), 5u);
    std::string tx, rx, directions;
    for (const std::string& line : lines) {
        std::vector<std::string> f = Fields(line);
        ASSERT_EQ(f.size(), 5u) << line;
        EXPECT_EQ(f[0].size(), 23u) << f[0]; // 2026-12-10T04:30:01.123
        EXPECT_TRUE(f[1].starts_with("COM3")) << f[1];
        (f[2] == "tx" ? tx : rx) += FromHex(f[3]);
        directions += f[2] + " ";
        std::string printable;
        for (unsigned char b : FromHex(f[3]))
            printable += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
        EXPECT_EQ(f[4], printable);
    }
    EXPECT_EQ(directions, "tx rx rx tx rx ");
    EXPECT_EQ(tx, sent);
    EXPECT_EQ(rx, received);
    EXPECT_EQ(commissioning->Facts().Release, "Release R-VEX \xB0\r\n");
}

TEST_F(Record, TheReadingsLogHasItsHeaderQuotedNotesOutcomesAndRisingTimes) {
    commissioning->StartRecording();
    RequestRow(1);
    Reply(RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    RequestRow(2);
    Reply(RtuException(0x0A, 0x02));
    RequestRow(3);
    Advance(1100); // no reply
    form->ComboBox2.TypeText("604");
    form->ComboBox4.TypeText("int");
    form->Button47.Click();
    Advance(100);
    Reply(RtuReply(0x0A, {0x00, 0x2A}));
    commissioning->StopRecording();

    std::string name = fs::path(commissioning->ReadingsLogPath()).filename().string();
    EXPECT_EQ(name, ""); // closed once stopped
    name = TheOnly("letture-");
    EXPECT_EQ(name, "letture-" + tool::FileNameStamp(wallTime) + ".csv");
    std::string text = ReadFile(name);
    std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 5u) << text;
    EXPECT_EQ(lines[0],
              "time,port,framing,row,address,type,count,obis,note,value,outcome,request,reply");
    EXPECT_EQ(text.find("\n"), text.find("\r\n") + 1); // CR LF line ends
    // The note with a comma and quotes is one quoted field.
    EXPECT_NE(lines[1].find(",RTU,1,454,d,4,1.8.0,\"Nota, \"\"uno\"\"\",3.141593,good,"),
              std::string::npos)
        << lines[1];
    EXPECT_NE(
        lines[2].find(",2,462,i,1,C.1.0,Temp \xC2\xB0"
                      "C,exception 02: illegal data address,exception 02: illegal data address,"),
        std::string::npos)
        << lines[2];
    EXPECT_NE(lines[3].find(",3,470,l,2,2.8.0,tre,no reply,no reply,0A 03 01 D5 00 02 "),
              std::string::npos)
        << lines[3];
    EXPECT_TRUE(lines[3].ends_with(",")) << "no reply bytes: " << lines[3];
    EXPECT_NE(lines[4].find(",RTU,,604,i,1,,,42,good,"), std::string::npos) << lines[4];
    for (size_t i = 2; i < lines.size(); ++i)
        EXPECT_LE(lines[i - 1].substr(0, 23), lines[i].substr(0, 23));
}

TEST_F(Record, ALogThatCannotBeCreatedStartsNothing) {
    fs::create_directory("letture-" + Stamp() + ".csv");
    EXPECT_THROW(commissioning->StartRecording(), winsys::Exception);
    EXPECT_FALSE(commissioning->Recording());
    EXPECT_FALSE(fs::exists("traffico-" + Stamp() + ".log"));
}

TEST_F(Record, RecordingAgainInTheSameSecondAppendsWithoutASecondHeader) {
    commissioning->StartRecording();
    RequestRow(1);
    Reply(GoodReplyOfRow1());
    commissioning->StopRecording();
    commissioning->StartRecording();
    RequestRow(1);
    Reply(GoodReplyOfRow1());
    commissioning->StopRecording();
    std::vector<std::string> lines = Lines(ReadFile("letture-" + Stamp() + ".csv"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].starts_with("time,")) << lines[0];
    EXPECT_NE(lines[1].find(",3.141593,good,"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(",3.141593,good,"), std::string::npos) << lines[2];
}

TEST_F(Record, ExportWritesTheGridAsItStandsAndAFileThatCannotBeWrittenIsLeftAlone) {
    RequestRow(1);
    Reply(RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    commissioning->ExportGrid("grid.csv");
    EXPECT_EQ(ReadFile("grid.csv"), "Rif,Address,Valore letto,t,n,OBIS code,Note di esempio\r\n"
                                    "1,454,3.141593,d,4,1.8.0,\"Nota, \"\"uno\"\"\"\r\n"
                                    "2,462,,i,1,C.1.0,Temp \xC2\xB0"
                                    "C\r\n"
                                    "3,470,,l,2,2.8.0,tre\r\n");
    // A file that is there is replaced whole.
    WriteFile("kept.csv", std::string(4000, 'x'));
    commissioning->ExportGrid("kept.csv");
    EXPECT_EQ(ReadFile("kept.csv"), ReadFile("grid.csv"));
    commissioning->WriteReport("kept.csv");
    EXPECT_EQ(ReadFile("kept.csv"), commissioning->ReportHtml());

    fs::create_directory("folder.csv");
    for (const char* path : {"no-such-folder/grid.csv", "folder.csv"}) {
        EXPECT_THROW(commissioning->ExportGrid(path), winsys::Exception) << path;
        EXPECT_THROW(commissioning->WriteReport(path), winsys::Exception) << path;
    }
    EXPECT_FALSE(fs::exists("no-such-folder"));
    EXPECT_TRUE(fs::is_directory("folder.csv"));
    for (const auto& entry : fs::directory_iterator("."))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".part")) << entry.path();
}

TEST_F(Record, TheTableAndTheChecksSayWhatEachRowLastGave) {
    RequestRow(1);
    Reply(RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    RequestRow(2);
    Reply(RtuException(0x0A, 0x02));
    EXPECT_EQ(
        commissioning->Table(),
        "Rif  Address  Value                               Type  Count  OBIS   Note         "
        "Outcome\n"
        "1    454      3.141593                            d     4      1.8.0  Nota, \"uno\"  "
        "good\n"
        "2    462      exception 02: illegal data address  i     1      C.1.0  Temp \xC2\xB0"
        "C      exception 02: illegal data address\n"
        "3    470                                          l     2      2.8.0  tre          -\n");
    EXPECT_EQ(commissioning->ExpectGood({1}), "");
    EXPECT_EQ(commissioning->ExpectGood({}),
              "row 2 (462): exception 02: illegal data address; row 3 (470): not read");
    EXPECT_EQ(commissioning->ExpectGood({7}), "row 7: no register in this row");
    EXPECT_EQ(commissioning->ExpectRange(1, 3.14, 3.15), "");
    EXPECT_EQ(commissioning->ExpectRange(1, 3.1416, 4),
              "row 1 (454): value 3.141593 is outside the range");
    EXPECT_EQ(commissioning->ExpectRange(2, 0, 1),
              "row 2 (462): value \"exception 02: illegal data address\" is not a number");
    // A table loaded since puts other registers in the rows: their readings are gone.
    WriteFile("Table1.c", ">600 i 1<C.7.0><x>\n");
    form->Button40.Click();
    EXPECT_EQ(commissioning->ExpectGood({}), "row 1 (600): not read");
}

TEST_F(Record, TheReportHoldsWhatTheModuleAndTheMeterToldWithEveryTextEscaped) {
    form->Button20.Click(); // release
    Reply("Release <FW> 1.9 & \xE8\r\n");
    form->Button17.Click(); // configuration
    Reply("<config_begin\r\nModAdd:10\r\nconfig_end>\r\n");
    form->Button21.Click(); // meter sign-on, then its acknowledgement
    Reply("/RVX5RVEX-SIM-M1\r\n");
    form->Button22.Click();
    Reply("\x02"
          "1.8.0(012345.678*kWh)\r\n!\r\n\x03"
          "A");
    form->Label31.SetCaption("PIN1->Unasserted ( Run )"); // as the last status read left it
    RequestRow(1);
    Reply(RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09}));
    RequestRow(2);
    Reply(RtuException(0x0A, 0x02));

    const tool::SessionFacts& facts = commissioning->Facts();
    EXPECT_EQ(facts.Release, "Release <FW> 1.9 & \xE8\r\n");
    EXPECT_EQ(facts.Configuration, "<config_begin\r\nModAdd:10\r\nconfig_end>\r\n");
    EXPECT_EQ(facts.MeterIdentification, "/RVX5RVEX-SIM-M1\r\n");
    EXPECT_EQ(facts.MeterReadout, "\x02"
                                  "1.8.0(012345.678*kWh)\r\n!\r\n\x03"
                                  "A");

    std::string html = commissioning->ReportHtml();
    EXPECT_TRUE(tool::IsValidUtf8(html));
    for (const char* part :
         {"<pre>Release &lt;FW&gt; 1.9 &amp; \xC3\xA8\r\n</pre>",
          "<pre>&lt;config_begin\r\nModAdd:10\r\nconfig_end&gt;\r\n</pre>",
          "<pre>\xE2\x90\x82"
          "1.8.0(012345.678*kWh)",
          "<li>PIN1-&gt;Unasserted ( Run )</li>",
          "<td>Nota, &quot;uno&quot;</td><td>3.141593</td><td>good</td>",
          "<tr class=\"bad\"><td>2</td><td>462</td>",
          "<li>Row 2 (462 C.1.0): exception 02: illegal data address</li>",
          "<li>Row 3 (470 2.8.0): not read</li>", "<tr><td>Requests sent</td><td>2</td></tr>"})
        EXPECT_NE(html.find(part), std::string::npos) << part;
    EXPECT_EQ(html.find("<FW>"), std::string::npos);
    EXPECT_EQ(html.find("Label32"), std::string::npos); // pins never read are left out
}

TEST_F(Record, AFactKeepsItsBoundWhateverThePeerSends) {
    form->Button20.Click();
    for (int i = 0; i < 2; ++i) {
        serial->Deliver(std::string(40000, 'R'));
        Pump();
    }
    EXPECT_EQ(commissioning->Facts().Release.size(), tool::SessionFacts::MaxFactBytes);
}

} // namespace
