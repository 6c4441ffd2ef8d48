// Tracing and logging with the dispatcher's real threads: the dispatch thread logs the
// reads and the avail notifications while the window thread reads, writes and dumps.
#include "TraceTestSupport.h"

#include <atomic>
#include <thread>

using namespace port;
using namespace port::testing;

namespace {

class TraceThreads : public TraceFixture {
  protected:
    TraceThreads() : TraceFixture(true) {}
};

// The item lines of a trace dump of one run, joined.
std::string RunText(const std::vector<std::string>& lines, size_t from) {
    std::string text;
    for (size_t i = from; i < lines.size() && !lines[i].empty(); ++i)
        text += lines[i];
    return text;
}

} // namespace

TEST_F(TraceThreads, BytesReadInTheHandlerAreTracedInOrderAndEveryDeviceReadIsLogged) {
    Open();
    ASSERT_EQ(port->InitTracing(100000), 0);
    ASSERT_EQ(port->InitDispatchLogging(1 << 20), 0);
    std::string received;
    onNotify = [&](const Notification& n) {
        if (n.msg == PortMsgAvail) received += Take(n.wParam);
    };
    const std::string sent = Pattern(3000);
    std::thread producer([&] {
        for (size_t at = 0; at < sent.size();) {
            size_t n = std::min<size_t>(1 + at % 97, sent.size() - at);
            if (device.Deliver(sent.data() + at, n))
                at += n;
            else
                std::this_thread::yield();
        }
    });
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= sent.size(); }));
    producer.join();
    ASSERT_EQ(port->PutString("reply"), 0);

    ASSERT_EQ(port->DumpTrace(Path("t.trc"), true, false), 0);
    std::vector<std::string> trace = Lines(Read("t.trc"));
    ASSERT_GE(trace.size(), 4u);
    EXPECT_EQ(trace[0], "Receive: ");
    EXPECT_EQ(RunText(trace, 1), sent);
    EXPECT_EQ(trace[trace.size() - 2], "Transmit: ");
    EXPECT_EQ(trace.back(), "reply");

    ASSERT_EQ(port->DumpDispatchLog(Path("d.log"), true, false), 0);
    uint64_t readCount = 0, availCount = 0;
    for (const std::string& line : Lines(Read("d.log"))) {
        if (line.size() < 44 || line[0] == ' ' || line[4] != '.') continue;
        uint32_t data = std::stoul(line.substr(34, 8), nullptr, 16);
        if (line.compare(20, 12, "ReadCom     ") == 0) readCount += data;
        if (line.compare(10, 18, "Trigger   Avail   ") == 0) availCount += data;
    }
    EXPECT_EQ(readCount, sent.size());
    EXPECT_EQ(availCount, sent.size());
}

TEST_F(TraceThreads, ADumpWhileTheDispatchThreadLogsWritesWholeEntries) {
    Open();
    ASSERT_EQ(port->InitDispatchLogging(1 << 16), 0);
    onNotify = [&](const Notification& n) {
        if (n.msg == PortMsgAvail) Take(n.wParam);
    };
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        for (int i = 0; i < 20000 && !stop.load(); ++i)
            if (!device.Deliver("abcdefgh")) std::this_thread::yield();
    });
    // Let some entries come in, then dump while more arrive.
    ASSERT_TRUE(PumpUntil([&] { return device.RxPending() == 0 && seen.size() > 5; }));
    EXPECT_EQ(port->DumpDispatchLog(Path("d.log"), true, false), 0);
    stop = true;
    producer.join();
    loop.ProcessMessages();
    // Each read entry carries as many bytes as its count says, across its continuation
    // lines (44 blanks, then items).
    std::vector<std::string> lines = Lines(Read("d.log"));
    ASSERT_GT(lines.size(), 7u);
    const std::string indent(44, ' ');
    size_t reads = 0;
    for (size_t i = 7; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        ASSERT_GE(lines[i].size(), 44u);
        ASSERT_EQ(lines[i][4], '.');
        if (lines[i].compare(20, 12, "ReadCom     ") != 0) continue;
        size_t count = std::stoul(lines[i].substr(34, 8), nullptr, 16);
        std::string data = lines[i].substr(44);
        while (i + 1 < lines.size() && lines[i + 1].rfind(indent, 0) == 0)
            data += lines[++i].substr(44);
        EXPECT_EQ(data.size(), count);
        EXPECT_EQ(data.find_first_not_of("abcdefgh"), std::string::npos);
        ++reads;
    }
    EXPECT_GT(reads, 0u);
    EXPECT_FALSE(port->LogAllocated());
}
