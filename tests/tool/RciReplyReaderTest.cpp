#include "tool/RciReplyReader.h"

#include <gtest/gtest.h>

using tool::RciReplyReader;

namespace {

struct Outcome {
    std::string body;
    std::string log;
    bool complete;
    bool malformed;
    bool headDone;
};

// Feeds the reply in pieces cut at the given positions, then closes and finishes.
Outcome Read(const std::string& reply, std::vector<size_t> cuts, bool close = true) {
    RciReplyReader reader;
    std::string log;
    size_t at = 0;
    cuts.push_back(reply.size());
    for (size_t cut : cuts) {
        reader.Feed(reply.data() + at, cut - at);
        log += reader.TakeLog();
        at = cut;
    }
    if (close) reader.PeerClosed();
    reader.Finish();
    log += reader.TakeLog();
    return {reader.Body(), log, reader.Complete(), reader.Malformed(), reader.HeadDone()};
}

struct Case {
    const char* name;
    std::string reply;
    std::string body;
    std::string logAfterHead; // the log after the head's own entry
    bool complete;
    bool malformed = false;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

const std::string Chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

std::vector<Case> Cases() {
    return {
        {"ThreeDigitChunks", Chunked + "003\r\nabc\r\n002\r\nde\r\n0\r\n\r\n", "abcde",
         "abc\r\n\r\nde\r\n\r\n", true},
        {"BareLineBreaksAndUpperCaseHex", Chunked + "A\n0123456789\n0\n\n", "0123456789",
         "0123456789\n\r\n", true},
        {"ExtensionsAndTrailer", Chunked + "4 ;a=b;c\r\nwxyz\r\n0;last\r\nX-Trailer: 1\r\n\r\n",
         "wxyz", "wxyz\r\n\r\n", true},
        {"ContentLength", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcEXTRA", "abc", "abc\r\n",
         true},
        {"ZeroContentLength", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "", "", true},
        {"ChunkedWinsOverLength",
         "HTTP/1.1 200 OK\r\nContent-Length: 99\r\ntransfer-encoding: gzip, Chunked\r\n\r\n"
         "1\r\nz\r\n0\r\n\r\n",
         "z", "z\r\n\r\n", true},
        {"ConflictingLengthsReadUntilClose",
         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nabc", "abc", "abc\r\n",
         true},
        {"UntilClose", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nabc", "abc", "abc\r\n", true},
        {"NoContent", "HTTP/1.1 204 No Content\r\n\r\n", "", "", true},
        {"CutInsideAChunk", Chunked + "00a\r\nabc", "abc", "abc\r\n", false},
        {"SizeLineNotHex", Chunked + "2\r\nok\r\nxyz\r\nnever", "ok", "ok\r\n\r\n", false, true},
        {"SizeLineWithJunkAfterTheDigits", Chunked + "2x\r\nok\r\n", "", "", false, true},
        {"ChunkNotClosedByLineBreak", Chunked + "2\r\nokXX0\r\n\r\n", "ok", "ok\r\n", false, true},
        {"SizeLineTooLong", Chunked + "1;" + std::string(2000, 'e') + "\r\nz\r\n0\r\n\r\n", "", "",
         false, true},
        {"SizeBeyondAnyReply", Chunked + "fffffffffffffffffff\r\n", "", "", false, true},
    };
}

class ReaderCases : public ::testing::TestWithParam<Case> {};

TEST_P(ReaderCases, GivesTheBodyAndLogWhereverTheBytesAreCut) {
    const Case& c = GetParam();
    size_t headEnd = c.reply.find("\r\n\r\n") + 4;
    std::string headEntry = c.reply.substr(0, headEnd) + "\r\n";
    Outcome whole = Read(c.reply, {});
    EXPECT_EQ(whole.body, c.body);
    EXPECT_EQ(whole.log, headEntry + c.logAfterHead);
    EXPECT_EQ(whole.complete, c.complete);
    EXPECT_EQ(whole.malformed, c.malformed);
    EXPECT_TRUE(whole.headDone);
    // Every cut into two pieces, and byte by byte, read the same.
    std::vector<size_t> bytes;
    for (size_t i = 1; i < c.reply.size(); ++i) {
        Outcome two = Read(c.reply, {i});
        ASSERT_EQ(two.body, whole.body) << "cut at " << i;
        ASSERT_EQ(two.log, whole.log) << "cut at " << i;
        ASSERT_EQ(two.complete, whole.complete) << "cut at " << i;
        bytes.push_back(i);
    }
    Outcome single = Read(c.reply, bytes);
    EXPECT_EQ(single.body, whole.body);
    EXPECT_EQ(single.log, whole.log);
}

INSTANTIATE_TEST_SUITE_P(Replies, ReaderCases, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RciReplyReader, AReplyCompletesWithoutWaitingForTheCloseWhenItsCodingEndsIt) {
    for (const std::string& reply :
         {Chunked + "1\r\na\r\n0\r\n",
          std::string("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\na")}) {
        Outcome o = Read(reply, {}, false);
        EXPECT_TRUE(o.complete) << reply;
        EXPECT_EQ(o.body, "a");
    }
    EXPECT_FALSE(Read("HTTP/1.0 200 OK\r\n\r\na", {}, false).complete); // until close
}

TEST(RciReplyReader, InterimHeadsAndLeadingEmptyLinesArePassedOver) {
    Outcome o =
        Read("\r\nHTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", {});
    EXPECT_EQ(o.body, "ok");
    EXPECT_EQ(o.log, "\r\nHTTP/1.1 100 Continue\r\n\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: "
                     "2\r\n\r\n\r\nok\r\n");
}

TEST(RciReplyReader, AHeadCutShortIsLoggedAndAHeadWithoutEndIsBounded) {
    Outcome cut = Read("HTTP/1.1 200 OK\r\nConte", {});
    EXPECT_FALSE(cut.headDone);
    EXPECT_EQ(cut.log, "HTTP/1.1 200 OK\r\nConte\r\n");

    std::string endless = "HTTP/1.1 200 OK\r\n" + std::string(20000, 'h');
    Outcome bounded = Read(endless, {});
    EXPECT_TRUE(bounded.malformed);
    EXPECT_EQ(bounded.log.size(), RciReplyReader::HeadLimit + 1 + 2);
}

TEST(RciReplyReader, KeepsTheFirst3999BodyBytesAndCountsThemAll) {
    RciReplyReader reader;
    std::string reply =
        "HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n" + std::string(10000, 'q');
    reader.Feed(reply.data(), reply.size());
    EXPECT_EQ(reader.BodyBytes(), 10000u);
    EXPECT_EQ(reader.Body(), std::string(3999, 'q'));
    EXPECT_TRUE(reader.Complete());
    EXPECT_EQ(reader.Status(), 200);
}

} // namespace
