#include "tool/ConfigFile.h"
#include "FormFixture.h"
#include "tool/RciSettings.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>

using namespace fakes;
using namespace winsys;

namespace {

using Fields = std::map<std::string, std::string>;

// What every field shows after a first reading of a file that holds none of the keys:
// "-1" for the numbers, "0" for DDBBGG, the word fields empty and Edit4 as it was.
Fields NoKeyFields() {
    Fields f;
    for (const char* n : {"Edit10", "Edit11", "Edit12", "Edit13", "Edit14", "Edit15", "Edit16",
                          "Edit31", "Edit8", "Edit22", "Edit2"})
        f[n] = "-1";
    f["Edit38"] = "0";
    f["Edit35"] = "";
    f["Edit36"] = "";
    f["Edit37"] = "";
    f["Edit4"] = "xxx.xxx.xxx.xxx";
    return f;
}

Fields Shown(tool::TMainForm& form) {
    Fields f;
    for (const auto& [name, text] : NoKeyFields())
        f[name] = form.FindControl(name)->Text();
    return f;
}

struct Reading {
    const char* what;
    std::string file;
    Fields changed; // the fields that differ from NoKeyFields()
};

void PrintTo(const Reading& r, std::ostream* os) {
    *os << r.what;
}

class ConfigReadings : public FormFixture, public ::testing::WithParamInterface<Reading> {};

TEST_P(ConfigReadings, FieldsShowWhatTheFileSays) {
    const Reading& c = GetParam();
    WriteFile("Config1.c", c.file);
    form->Button23.Click();
    Fields expected = NoKeyFields();
    for (const auto& [name, text] : c.changed)
        expected[name] = text;
    EXPECT_EQ(Shown(*form), expected) << c.what;
    EXPECT_EQ(form->StatusBar1.Text(), "    READ CONFIG1 FILE") << c.what;
}

const std::string Blanks20(20, ' ');

INSTANTIATE_TEST_SUITE_P(
    Files, ConfigReadings,
    ::testing::Values(
        Reading{"no key at all", "nothing here\r\n", {}},
        Reading{"ModAdd alone", "ModAdd: 10\r\nMod485", {{"Edit10", "10"}}},
        Reading{"Mod485 alone", "Mod485:1", {{"Edit11", "1"}}},
        Reading{"Cont485 alone", "Cont485: 0\r\n", {{"Edit12", "0"}}},
        Reading{"ContTime alone", "ContTime:\t5\r\n", {{"Edit13", "5"}}},
        Reading{"Spare alone", "Spare: 2", {{"Edit14", "2"}}},
        Reading{"Serie_1 with a blank inside", "Serie_1: 1234 5678\r\n", {{"Edit15", "12345678"}}},
        Reading{"Serie_1 with leading zeros", "Serie_1: 00012345\r\n", {{"Edit15", "12345"}}},
        Reading{"Serie_2 alone", "Serie_2:87654321", {{"Edit16", "87654321"}}},
        Reading{"Baudrate alone", "Baudrate: 3\r\n", {{"Edit31", "3"}}},
        Reading{"DDBBGG positive", "DDBBGG: 7\r\n", {{"Edit38", "7"}}},
        Reading{"DDBBGG negative shows 0", "DDBBGG: -4\r\n", {}},
        Reading{"Var1 alone", "Var1:abc\r\n", {{"Edit35", "abc"}}},
        Reading{"Var2 after a blank keeps the blank", "Var2: abc def\r\n", {{"Edit36", " abc"}}},
        Reading{"Var3 at the very end", "Var3:x", {{"Edit37", "x"}}},
        Reading{"Delta_1 alone", "Delta_1: 1\r\n", {{"Edit8", "1"}}},
        Reading{"Delta_2 alone", "Delta_2: 9\r\n", {{"Edit22", "9"}}},
        Reading{"Timer_T3 alone", "Timer_T3: 3000\r\n", {{"Edit2", "3000"}}},
        Reading{"IP_TEST alone", "IP_TEST:127.0.0.1\r\n", {{"Edit4", "127.0.0.1"}}},
        Reading{"; right after the key", "ModAdd:;12\r\n", {{"Edit10", "0"}}},
        Reading{"; ends the number", "ModAdd: 1;2\r\n", {{"Edit10", "1"}}},
        Reading{"a sign", "ModAdd: -3\r\n", {{"Edit10", "-3"}}},
        Reading{"the number may start on the next line", "ModAdd:\r\n5\r\n", {{"Edit10", "5"}}},
        Reading{"the 21st character after the key counts",
                "ModAdd:" + Blanks20 + "7",
                {{"Edit10", "7"}}},
        Reading{"the 22nd does not", "ModAdd:" + Blanks20 + " 7", {{"Edit10", "0"}}},
        Reading{"too large for 32 bits saturates",
                "Serie_1: 99999999999\r\n",
                {{"Edit15", "2147483647"}}},
        Reading{"a key in a comment line wins",
                "// ModAdd: 42 (old)\r\nModAdd: 10\r\n",
                {{"Edit10", "42"}}},
        Reading{"a key inside another key's value",
                "Var1:ModAdd:5\r\n",
                {{"Edit35", "ModAdd:5"}, {"Edit10", "5"}}},
        Reading{"a key after a partial match of itself",
                "IP_TIP_TEST:10.1.2.3\r\n",
                {{"Edit4", "10.1.2.3"}}},
        Reading{"a missing IP_TEST: leaves Edit4 (not Var3's word)",
                "Var1:a\r\nVar3:192.168.9.9\r\n",
                {{"Edit35", "a"}, {"Edit37", "192.168.9.9"}}},
        Reading{"a word key followed by CR LF gives an empty word",
                "Var1:\r\nVar2:q\r\n",
                {{"Edit35", ""}, {"Edit36", "q"}}},
        Reading{"a word key followed by LF gives an empty word", "Var3:\n", {{"Edit37", ""}}},
        Reading{"a word of 19 characters is whole",
                "Var1:abcdefghijklmnopqrs\r\n",
                {{"Edit35", "abcdefghijklmnopqrs"}}},
        Reading{"a zero byte ends the word",
                std::string("Var1:ab\0cd ModAdd:1", 19),
                {{"Edit35", "ab"}, {"Edit10", "1"}}}),
    [](const auto& info) {
        std::string name;
        for (char c : std::string(info.param.what))
            name += std::isalnum(uint8_t(c)) ? c : '_';
        return name;
    });

class ConfigFile : public FormFixture {
  protected:
    // Changes of the serial port since the last call.
    std::vector<std::string> PortChanges() {
        std::vector<std::string> changes;
        changes.swap(serial->Changes);
        return changes;
    }
};

TEST_F(ConfigFile, AWholeFileSetsEveryField) {
    WriteFile("Config1.c", "// R-VEX settings\r\n"
                           "ModAdd: 10\r\nMod485: 1\r\nCont485: 1\r\nContTime: 2\r\nSpare: 0\r\n"
                           "Serie_1: 12345678\r\nSerie_2: 00000042\r\nBaudrate: 7\r\n"
                           "DDBBGG: 5\r\nVar1:alpha\r\nVar2:beta\r\nVar3:gamma\r\n"
                           "Delta_1: 1\r\nDelta_2: 0\r\nTimer_T3: 2500\r\nIP_TEST:127.0.0.9\r\n");
    form->Button23.Click();
    EXPECT_EQ(Shown(*form), (Fields{{"Edit10", "10"},
                                    {"Edit11", "1"},
                                    {"Edit12", "1"},
                                    {"Edit13", "2"},
                                    {"Edit14", "0"},
                                    {"Edit15", "12345678"},
                                    {"Edit16", "42"},
                                    {"Edit31", "7"},
                                    {"Edit38", "5"},
                                    {"Edit35", "alpha"},
                                    {"Edit36", "beta"},
                                    {"Edit37", "gamma"},
                                    {"Edit8", "1"},
                                    {"Edit22", "0"},
                                    {"Edit2", "2500"},
                                    {"Edit4", "127.0.0.9"}}));
    EXPECT_EQ(form->StartModbusTcp, 1);
    EXPECT_EQ(form->Timer3.Interval(), 2500u);
    EXPECT_EQ(form->ComboBox5.ItemIndex(), 7);
    EXPECT_EQ(form->ComboBox6.Text(), "19200,E,8,1");
    EXPECT_EQ(form->StatusBar1.Text(), "    READ CONFIG1 FILE");
}

TEST_F(ConfigFile, WithoutTheFileOnlyTheStatusTextChanges) {
    PortChanges();
    form->Button23.Click();
    EXPECT_EQ(form->StatusBar1.Text(), "    Cannot open CONFIG1 FILE");
    EXPECT_EQ(Shown(*form)["Edit10"], "10");
    EXPECT_EQ(Shown(*form)["Edit2"], "Edit2");
    EXPECT_EQ(form->Timer3.Interval(), 5000u);
    EXPECT_TRUE(PortChanges().empty());
}

TEST_F(ConfigFile, OnlyTheTimerKeyAsInTheExample) {
    WriteFile("Config1.c", "Timer_T3: 3000\r\n");
    form->Button23.Click();
    Fields expected = NoKeyFields();
    expected["Edit2"] = "3000";
    EXPECT_EQ(Shown(*form), expected);
    EXPECT_EQ(form->Timer3.Interval(), 3000u);
    EXPECT_EQ(form->StartModbusTcp, -1);
}

TEST_F(ConfigFile, AMissingWordKeyKeepsWhatTheFieldShowedBefore) {
    WriteFile("Config1.c", "Var1:one\r\nVar2:two\r\nVar3:three\r\nIP_TEST:127.0.0.2\r\n");
    form->Button23.Click();
    WriteFile("Config1.c", "Var1:uno\r\n");
    form->Button23.Click();
    EXPECT_EQ(form->Edit35.Text(), "uno");
    EXPECT_EQ(form->Edit36.Text(), "two");
    EXPECT_EQ(form->Edit37.Text(), "three");
    EXPECT_EQ(form->Edit4.Text(), "127.0.0.2");
}

TEST_F(ConfigFile, ALongWordIsCutTo19CharactersAndTheStatusTextSaysSo) {
    WriteFile("Config1.c", "Var2:abcdefghijklmnopqrstuvwxyz\r\nIP_TEST:127.000.000.001.extra\r\n");
    form->Button23.Click();
    EXPECT_EQ(form->Edit36.Text(), "abcdefghijklmnopqrs");
    EXPECT_EQ(form->Edit4.Text(), "127.000.000.001.ext");
    EXPECT_EQ(form->StatusBar1.Text(),
              "    READ CONFIG1 FILE - words cut to 19 characters: Var2: IP_TEST:");
}

TEST_F(ConfigFile, OfALargeFileOnlyTheFirst1999BytesCount) {
    struct Case {
        size_t size;
        bool cut;
    };
    for (Case c : {Case{1999, false}, Case{2000, true}, Case{5000, true}}) {
        // The 8 is the 1999th byte, the last one kept; the 9 and "Spare:" lie beyond.
        std::string text(1991, '#');
        text += "ModAdd:8";
        text += "9";
        text += "Spare:3";
        text.resize(c.size, '#');
        WriteFile("Config1.c", text);
        form->Button23.Click();
        EXPECT_EQ(form->Edit10.Text(), "8") << c.size;
        EXPECT_EQ(form->Edit14.Text(), "-1") << c.size;
        EXPECT_EQ(form->StatusBar1.Text(),
                  c.cut ? "    READ CONFIG1 FILE - only its first 1999 bytes read, the file "
                          "holds 2000 or more"
                        : "    READ CONFIG1 FILE")
            << c.size;
    }
}

TEST_F(ConfigFile, TheRciPortComesFromItsKeyOr80) {
    struct Case {
        const char* file;
        int port;
    };
    testsupport::ScopedValue<int> rciPort(tool::RciPort, tool::RciPort);
    for (Case c :
         {Case{"RCI_Port: 8080\r\n", 8080}, Case{"", 80}, Case{"RCI_Port: 0", 80},
          Case{"RCI_Port: 65535", 65535}, Case{"RCI_Port: 65536", 80}, Case{"RCI_Port: -5", 80}}) {
        tool::RciPort = 1234;
        WriteFile("Config1.c", c.file);
        form->Button23.Click();
        EXPECT_EQ(tool::RciPort, c.port) << c.file;
    }
    std::remove("Config1.c");
    form->Button23.Click();
    EXPECT_EQ(tool::RciPort, 80) << "a file that cannot be opened leaves it";
}

struct LineCase {
    const char* baudrate; // the text after "Baudrate:"; nullptr: the key is missing
    std::vector<std::string> pushed;
    int itemIndex;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << "Baudrate:" << (c.baudrate ? c.baudrate : "(missing)");
}

class LineSettings : public ConfigFile, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineSettings, TheReadingClosesThePortAndPushesTheSelectedRowInOrder) {
    const LineCase& c = GetParam();
    WriteGlyphs();
    serial->SetOpen(true);
    form->BitBtn4.SetCaption("Aperta");
    form->Label2.SetCaption("OPEN");
    form->Label2.SetColor(clLime);
    PortChanges();
    WriteFile("Config1.c", c.baudrate ? std::string("Baudrate:") + c.baudrate + "\r\n" : "");
    form->Button23.Click();
    std::vector<std::string> expected = {"Open=0"};
    expected.insert(expected.end(), c.pushed.begin(), c.pushed.end());
    EXPECT_EQ(PortChanges(), expected);
    EXPECT_EQ(form->ComboBox5.ItemIndex(), c.itemIndex);
    EXPECT_EQ(form->ComboBox6.ItemIndex(), c.itemIndex);
    EXPECT_EQ(form->BitBtn4.Caption(), "Chiusa");
    EXPECT_EQ(form->BitBtn4.Glyph().fileName, "BmpX.bmp");
    EXPECT_EQ(form->Label2.Caption(), "CLOSE");
    EXPECT_EQ(form->Label2.Color(), clBtnFace);
    EXPECT_TRUE(Errors().empty());
}

std::vector<std::string> Row(int baud, int parity, int stop) {
    return {"Baud=" + std::to_string(baud), "DataBits=8", "Parity=" + std::to_string(parity),
            "StopBits=" + std::to_string(stop)};
}

INSTANTIATE_TEST_SUITE_P(BaudIndex, LineSettings,
                         ::testing::Values(LineCase{"1", Row(9600, port::pNone, 1), 1},
                                           LineCase{"2", Row(9600, port::pNone, 2), 2},
                                           LineCase{"3", Row(9600, port::pEven, 1), 3},
                                           LineCase{"4", Row(9600, port::pOdd, 1), 4},
                                           LineCase{"5", Row(19200, port::pNone, 1), 5},
                                           LineCase{"6", Row(19200, port::pNone, 2), 6},
                                           LineCase{"7", Row(19200, port::pEven, 1), 7},
                                           LineCase{"8", Row(19200, port::pOdd, 1), 8},
                                           LineCase{"0", {}, 0}, LineCase{"-1", {}, -1},
                                           LineCase{nullptr, {}, -1}, LineCase{"9", {}, -1}));

TEST_F(ConfigFile, AClosedPortStaysAsItWasShownAndNeedsNoGlyph) {
    WriteFile("Config1.c", "Baudrate: 1\r\n");
    PortChanges();
    form->Button23.Click();
    EXPECT_EQ(PortChanges(), Row(9600, port::pNone, 1)) << "closing a closed port changes nothing";
    EXPECT_TRUE(Errors().empty());
    EXPECT_TRUE(form->BitBtn4.Glyph().fileName.empty());
}

TEST_F(ConfigFile, AMissingGlyphDoesNotCutTheReadingShort) {
    serial->SetOpen(true);
    form->BitBtn4.SetCaption("Aperta");
    WriteFile("Config1.c", "Timer_T3: 1500\r\nIP_TEST:127.0.0.3\r\n");
    EXPECT_THROW(form->Button23.Click(), EInvalidGraphic);
    EXPECT_FALSE(serial->GetOpen());
    EXPECT_EQ(form->Label2.Caption(), "CLOSE");
    EXPECT_EQ(form->Timer3.Interval(), 1500u);
    EXPECT_EQ(form->Edit4.Text(), "127.0.0.3");
}

// The reader on its own, for what the fields cannot show.
TEST(ConfigReader, NothingBeyondLengthIsRead) {
    const char text[] = {'M', 'o', 'd', 'A', 'd', 'd', ':', '1', '2', '3'};
    EXPECT_EQ(tool::ReadNumberAfterKey(text, "ModAdd:", 9), 12);
    EXPECT_EQ(tool::ReadNumberAfterKey(text, "ModAdd:", 7), 0);
    EXPECT_EQ(tool::ReadNumberAfterKey(text, "ModAdd:", 6), -1);
    char ValueText[tool::ValueTextSize] = "kept";
    EXPECT_EQ(tool::ReadTextAfterKey(text, "ModAdd:", 6, ValueText), tool::TWordRead::Missing);
    EXPECT_STREQ(ValueText, "kept");
    EXPECT_EQ(tool::ReadTextAfterKey(text, "ModAdd:", 9, ValueText), tool::TWordRead::Read);
    EXPECT_STREQ(ValueText, "12");
}

} // namespace
