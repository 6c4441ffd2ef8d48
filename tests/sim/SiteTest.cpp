// The site folder against the simulator: every table entry is served with its
// type, Config1.c holds the module's values, the RCI files do what their names
// say, the glyphs are valid bitmaps. The files are read here the way the tool
// reads them, from the formats, not through any simulator code.
#include "ModuleConfig.h"
#include "Options.h"
#include "RciDocument.h"
#include "RegisterMap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

std::string ReadFile(const std::string& name) {
    std::ifstream in(std::string(RVEX_SITE_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct TableEntry {
    long address;
    char type;
    long count;
    std::string obis, note;
};

// Entry lines follow a line feed and start with ">": address up to a blank (at
// most 11 characters), the type letter, the count up to "<" (21), the OBIS code
// up to ">" (21), one skipped character, the note up to ">" (21).
std::vector<TableEntry> ReadTable(const std::string& text) {
    std::vector<TableEntry> out;
    auto copyUntil = [&](std::size_t& j, char stop, std::size_t limit) {
        std::string field;
        while (j < text.size() && field.size() < limit && text[j] != stop)
            field += text[j++];
        return field;
    };
    for (std::size_t j = 0; j + 1 < text.size(); ++j) {
        if (text[j] != '\n' || text[j + 1] != '>') continue;
        std::size_t k = j + 2;
        std::string address;
        while (k < text.size() && address.size() < 11) {
            address += text[k++];
            if (address.back() == ' ') break;
        }
        TableEntry e;
        e.address = std::atol(address.c_str());
        e.type = text[k++];
        e.count = std::atol(copyUntil(k, '<', 21).c_str());
        ++k;
        e.obis = copyUntil(k, '>', 21);
        k += 2; // the ">" and the "<" that opens the note
        e.note = copyUntil(k, '>', 21);
        EXPECT_LT(e.obis.size(), 21u);
        EXPECT_LT(e.note.size(), 21u);
        out.push_back(e);
        j = k;
    }
    return out;
}

TEST(SiteTables, EveryEntryIsServedAsDeclared) {
    std::map<char, int> types;
    for (const char* name : {"Table1.c", "Table2.c"}) {
        std::string text = ReadFile(name);
        EXPECT_LT(text.size(), 9999u) << name;
        EXPECT_NE(text[0], '>') << name << ": the first line is the heading";
        auto entries = ReadTable(text);
        EXPECT_GT(entries.size(), 15u) << name;
        std::map<char, int> here;
        for (const TableEntry& e : entries) {
            ++types[e.type];
            ++here[e.type];
            const sim::MapEntry* found = nullptr;
            for (const sim::MapEntry& m : sim::RegisterMap::Entries()) {
                if (m.number == e.address) found = &m;
            }
            ASSERT_TRUE(found) << name << " " << e.address;
            EXPECT_EQ(found->type, e.type) << e.address;
            EXPECT_EQ(found->count, e.count) << e.address;
            EXPECT_EQ(sim::InfoOf(found->quantity).obis, e.obis) << e.address;
            EXPECT_EQ(found->note, e.note) << e.address;
        }
        int mostly = std::string(name) == "Table1.c" ? here['M'] + here['l'] : here['d'];
        EXPECT_GT(mostly * 2, static_cast<int>(entries.size())) << name;
    }
    for (char type : {'d', 'M', 'l', 'i', 'h', 'c'})
        EXPECT_GT(types[type], 0) << type;
}

// The start-up file's key search: a mismatch restarts the match without
// looking at the same character again.
long FindKeyEnd(const std::string& text, const std::string& key) {
    std::size_t j = 0;
    for (std::size_t i = 0; i < text.size() && i < 2000; ++i) {
        j = text[i] == key[j] ? j + 1 : 0;
        if (j == key.size()) return static_cast<long>(i + 1);
    }
    return -1;
}

long Number(const std::string& text, const std::string& key) {
    long p = FindKeyEnd(text, key);
    if (p < 0) return -1;
    std::string kept;
    for (std::size_t i = 0; i <= 20 && p + i < text.size(); ++i) {
        char c = text[p + i];
        if (c == ';') break;
        if (c != ' ' && c != '\t') kept += c;
    }
    return std::atol(kept.c_str());
}

std::string Word(const std::string& text, const std::string& key) {
    long p = FindKeyEnd(text, key);
    if (p < 0) return "(missing)";
    std::string word;
    for (std::size_t i = p; i < text.size(); ++i) {
        word += text[i];
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (next == ' ' || next == '\r' || next == '\n' || next == '\0') break;
    }
    return word;
}

TEST(SiteConfig, HoldsTheModulesValuesAndTheToolsSettings) {
    std::string text = ReadFile("Config1.c");
    EXPECT_LT(text.size(), 2000u);
    sim::ModuleConfig module; // the simulator starts with these
    for (std::string_view key : sim::ModuleConfig::Keys()) {
        std::string k(key);
        if (k.starts_with("Var")) {
            EXPECT_EQ(Word(text, k), module.Value(key)) << k;
        } else {
            EXPECT_EQ(std::to_string(Number(text, k)), module.Value(key)) << k;
        }
    }
    EXPECT_EQ(Number(text, "Baudrate:"), 5); // 19200,N,8,1: a pty takes no parity
    EXPECT_EQ(Number(text, "Delta_1:"), 0);  // RTU framing at start
    EXPECT_EQ(Number(text, "Delta_2:"), 0);
    EXPECT_EQ(Number(text, "Timer_T3:"), 1500);
    EXPECT_LT(Number(text, "Timer_T3:"), sim::Options{}.meterAckMs); // the meter still waits
    EXPECT_EQ(Word(text, "IP_TEST:"), "127.0.0.1");
    EXPECT_EQ(Number(text, "RCI_Port:"), sim::Options{}.rciPort);
}

TEST(SiteRciFiles, EachDoesWhatItsNameSays) {
    struct Case {
        const char* file;
        int pin;
        bool asserted;
    } cases[] = {{"set_pin1.txt", 1, true}, {"clear_pin1.txt", 1, false},
                 {"set_pin2.txt", 2, true}, {"clear_pin2.txt", 2, false},
                 {"set_pin3.txt", 3, true}, {"clear_pin3.txt", 3, false}};
    for (const Case& c : cases) {
        for (bool start : {false, true}) {
            sim::Pins pins{start, start, start};
            std::string doc = ReadFile(c.file);
            EXPECT_LE(doc.size(), 1500u);
            auto out = sim::RunRciDocument(doc, pins);
            sim::Pins expected{start, start, start};
            (c.pin == 1   ? expected.reset
             : c.pin == 2 ? expected.config
                          : expected.rs485) = c.asserted;
            EXPECT_EQ(pins, expected) << c.file;
            EXPECT_EQ(out.reply.find("<error"), std::string::npos) << c.file;
        }
    }
    sim::Pins pins{true, false, true};
    EXPECT_TRUE(sim::RunRciDocument(ReadFile("reboot.txt"), pins).reboot);
    auto query = sim::RunRciDocument(ReadFile("RCI-queryGB.txt"), pins);
    const std::string& reply = query.reply;
    // The status display looks at the character right after each tag.
    for (auto [tag, letter] : {std::pair{"<pin1>", 'a'}, {"<pin2>", 'u'}, {"<pin3>", 'a'}}) {
        long end = FindKeyEnd(reply, tag);
        ASSERT_GT(end, 10) << tag;
        EXPECT_EQ(reply[static_cast<std::size_t>(end)], letter) << tag;
    }
}

TEST(SiteBitmaps, AreSixteenBySixteenTwentyFourBit) {
    for (const char* name : {"BmpOK.bmp", "BmpX.bmp"}) {
        std::string b = ReadFile(name);
        auto u32 = [&](std::size_t at) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
        };
        ASSERT_EQ(b.size(), 54u + 16 * 16 * 3) << name;
        EXPECT_EQ(b.substr(0, 2), "BM");
        EXPECT_EQ(u32(2), b.size());
        EXPECT_EQ(u32(10), 54u);            // pixels follow the two headers
        EXPECT_EQ(u32(14), 40u);            // BITMAPINFOHEADER
        EXPECT_EQ(u32(18), 16u);            // width
        EXPECT_EQ(u32(22), 16u);            // height, bottom-up
        EXPECT_EQ(u32(26), 1u | 24u << 16); // one plane, 24 bits
        EXPECT_EQ(u32(30), 0u);             // uncompressed
        std::set<std::string> colours;
        for (std::size_t p = 54; p < b.size(); p += 3)
            colours.insert(b.substr(p, 3));
        EXPECT_GE(colours.size(), 2u) << name << " shows a picture";
    }
}

} // namespace
