// The dispatcher's trace: what PutBlock, GetChar and GetBlock record and the text the
// dump writes, byte for byte.
#include "FileCodes.h"
#include "TraceTestSupport.h"

#include <string>

using namespace port;
using namespace port::testing;

namespace {

class Trace : public TraceFixture {
  protected:
    // Reads Count bytes with GetChar (One) or one GetBlock.
    void ReadBack(uint32_t count, bool block = false) {
        if (block) {
            std::string bytes(count, '\0');
            ASSERT_EQ(port->GetBlock(bytes.data(), count), static_cast<int32_t>(count));
        } else {
            ASSERT_EQ(Take(count).size(), count);
        }
    }
    std::string Dump(bool inHex, bool allHex) {
        EXPECT_EQ(port->DumpTrace(Path("t.trc"), inHex, allHex), 0);
        return Read("t.trc");
    }
};

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values)
        bytes.push_back(static_cast<char>(v));
    return bytes;
}

std::string Repeat(const std::string& item, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += item;
    return text;
}

} // namespace

TEST_F(Trace, AllHexShowsTheRequestUnderTransmitAndTheReplyUnderReceive) {
    Open();
    ASSERT_EQ(port->InitTracing(100), 0);
    ASSERT_EQ(port->PutString(Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x02})), 0);
    Arrive(Bytes({0x01, 0x03, 0x04}));
    ReadBack(3);
    EXPECT_EQ(Dump(false, true), "Transmit: \n"
                                 "[01][03][00][00][00][02]\n"
                                 "\n"
                                 "Receive: \n"
                                 "[01][03][04]");
    // The dump freed the trace: tracing is off and nothing more is recorded.
    EXPECT_FALSE(port->TraceAllocated());
    EXPECT_FALSE(port->TraceActive());
}

TEST_F(Trace, AWrappedRingShowsTheNewestEntriesOldestFirst) {
    Open();
    ASSERT_EQ(port->InitTracing(4), 0);
    ASSERT_EQ(port->PutString("ABC"), 0);
    Arrive("xy");
    ReadBack(2, true);
    EXPECT_EQ(Dump(true, false), "Transmit: \nBC\n\nReceive: \nxy");
}

TEST_F(Trace, ItemsBreakTheLineBeforeColumn78IsPassed) {
    struct Row {
        const char* name;
        std::string written;
        bool inHex, allHex;
        std::string expected;
    } rows[] = {
        // Width 4: 19 items make 76 columns, the 20th starts a new line.
        {"30 bytes in AllHex", std::string(30, 'A'), false, true,
         "Transmit: \n" + Repeat("[41]", 19) + "\n" + Repeat("[41]", 11)},
        // Width 3: 26 items make exactly 78, which still fits.
        {"width 3 up to 78", std::string(27, '\t'), false, false,
         "Transmit: \n" + Repeat("[9]", 26) + "\n[9]"},
        // Width 5 and 1 mixed: 15 x 5 = 75, three characters make 78, the next breaks.
        {"width 5 then characters", std::string(15, '\xFF') + "abcd", false, false,
         "Transmit: \n" + Repeat("[255]", 15) + "abc\nd"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Open();
        ASSERT_EQ(port->InitTracing(1000), 0);
        ASSERT_EQ(port->PutString(row.written), 0);
        EXPECT_EQ(Dump(row.inHex, row.allHex), row.expected);
    }
}

TEST_F(Trace, ControlCharactersAndSpaceByMode) {
    struct Row {
        bool inHex, allHex;
        const char* expected;
    } rows[] = {
        {false, false, "Receive: \n[13][10] a~[127][0][31][200]"},
        {true, false, "Receive: \n[0D][0A][20]a~[7F][00][1F][C8]"},
        {false, true, "Receive: \n[0D][0A][20][61][7E][7F][00][1F][C8]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        Open();
        ASSERT_EQ(port->InitTracing(100), 0);
        Arrive(Bytes({13, 10, ' ', 'a', '~', 127, 0, 31, 200}));
        ReadBack(9);
        EXPECT_EQ(Dump(row.inHex, row.allHex), row.expected);
    }
}

TEST_F(Trace, OtherKindsAreSpecialRunsAndPausedTracesStillTakeAddedEntries) {
    Open();
    ASSERT_EQ(port->InitTracing(100), 0);
    ASSERT_EQ(port->PutString("a"), 0);
    port->StopTracing();
    // Paused: reads and writes record nothing, an entry added directly is kept.
    ASSERT_EQ(port->PutString("zz"), 0);
    port->AddTraceEntry('M', 'q');
    EXPECT_EQ(port->StartTracing(), 0);
    Arrive("b");
    ReadBack(1);
    EXPECT_EQ(Dump(true, false), "Transmit: \na\n\nSpecial-M: \nq\n\nReceive: \nb");
}

TEST_F(Trace, InitStartClearAndAbort) {
    Open();
    EXPECT_EQ(port->InitTracing(0), ecBadArgument);
    EXPECT_EQ(port->InitTracing(MaxTraceEntries + 1), ecBadArgument);
    EXPECT_EQ(port->StartTracing(), ecTracingNotEnabled);
    EXPECT_FALSE(port->TraceActive());

    ASSERT_EQ(port->InitTracing(3), 0);
    ASSERT_EQ(port->PutString("abcd"), 0);
    // A second initialisation empties the buffer and keeps its size.
    ASSERT_EQ(port->InitTracing(50), 0);
    ASSERT_EQ(port->PutString("1234"), 0);
    port->ClearTracing();
    ASSERT_EQ(port->PutString("xyzw"), 0);
    EXPECT_EQ(Dump(true, false), "Transmit: \nyzw");

    ASSERT_EQ(port->InitTracing(10), 0);
    ASSERT_EQ(port->PutString("abc"), 0);
    port->AbortTracing();
    EXPECT_FALSE(port->TraceAllocated());
    EXPECT_EQ(port->DumpTrace(Path("none.trc"), true, false), 0);
    EXPECT_FALSE(Exists("none.trc"));
}

TEST_F(Trace, OnlyWhatTheDeviceTookIsTraced) {
    Open();
    ASSERT_EQ(port->InitTracing(100), 0);
    device.SetWriteComResult(2);
    EXPECT_EQ(port->PutString("abcd"), ecPutBlockFail);
    device.SetWriteComResult(0);
    EXPECT_EQ(port->PutString("efgh"), ecPutBlockFail);
    device.SetWriteComResult(INT32_MIN);
    EXPECT_EQ(port->PutBlock("", 0), 0);
    // A read that finds nothing unread traces nothing.
    char c;
    EXPECT_EQ(port->GetChar(c), ecBufferIsEmpty);
    EXPECT_EQ(Dump(true, false), "Transmit: \nab");
}

TEST_F(Trace, FilesAreReplacedOrAppendedAndAnEmptyTraceWritesNone) {
    Open();
    WriteText("t.trc", "old text");
    ASSERT_EQ(port->InitTracing(10), 0);
    EXPECT_EQ(port->DumpTrace(Path("t.trc"), true, false), 0);
    EXPECT_EQ(Read("t.trc"), "old text"); // empty: no file written, the trace is freed
    EXPECT_FALSE(port->TraceAllocated());

    ASSERT_EQ(port->InitTracing(10), 0);
    ASSERT_EQ(port->PutString("one"), 0);
    EXPECT_EQ(port->DumpTrace(Path("t.trc"), true, false), 0);
    EXPECT_EQ(Read("t.trc"), "Transmit: \none");

    ASSERT_EQ(port->InitTracing(10), 0);
    ASSERT_EQ(port->PutString("two"), 0);
    EXPECT_EQ(port->AppendTrace(Path("t.trc"), true, false), 0);
    EXPECT_EQ(Read("t.trc"), "Transmit: \noneTransmit: \ntwo");

    ASSERT_EQ(port->InitTracing(10), 0);
    ASSERT_EQ(port->PutString("new"), 0);
    EXPECT_EQ(port->AppendTrace(Path("fresh.trc"), true, false), 0);
    EXPECT_EQ(Read("fresh.trc"), "Transmit: \nnew");
}

TEST_F(Trace, AFileThatCannotBeOpenedGivesItsErrorAndFreesTheTrace) {
    Open();
    struct Row {
        std::string file;
        int32_t code;
    } rows[] = {
        {Path("missing/t.trc"), -MissingFolderFileCode}, // no such folder
        {Path(""), -5},                                  // a folder, not a file
        {Path("plain/t.trc"), -3},                       // a file where a folder should be
    };
    WriteText("plain", "x");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        ASSERT_EQ(port->InitTracing(10), 0);
        ASSERT_EQ(port->PutString("abc"), 0);
        EXPECT_EQ(port->DumpTrace(row.file, true, false), row.code);
        EXPECT_FALSE(port->TraceAllocated());
    }
}
