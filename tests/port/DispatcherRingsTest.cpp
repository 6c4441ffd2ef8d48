// The dispatcher's rings, line settings and lines, without threads: the test drives
// the dispatching steps on the window thread.
#include "PortTestSupport.h"

using namespace port;
using namespace port::testing;

namespace {

class Rings : public PortFixture {
  protected:
    Rings() : PortFixture(false) {}

    // Delivers bytes and lets the dispatcher move them into the input ring.
    void Arrive(const std::string& bytes) {
        ASSERT_TRUE(device.Deliver(bytes));
        port->ExtractData();
    }
    // Moves the empty ring's head (and tail) to position at.
    void MoveHeadTo(uint32_t at) {
        Arrive(std::string(at, 'x'));
        std::string sink(at, '\0');
        ASSERT_EQ(port->GetBlock(sink.data(), at), static_cast<int32_t>(at));
        device.ClearReadRequests();
    }
    std::string Peek(uint32_t count) {
        std::string bytes(count, '\0');
        EXPECT_EQ(port->PeekBlock(bytes.data(), count), static_cast<int32_t>(count));
        return bytes;
    }
    uint32_t Head() {
        uint32_t head, tail;
        bool full;
        port->InRingState(head, tail, full);
        return head;
    }
};

} // namespace

TEST_F(Rings, ADeviceReadAcrossTheWrapComesInTwoPieces) {
    Open();
    MoveHeadTo(8150);
    std::string bytes = Pattern(100);
    Arrive(bytes);
    EXPECT_EQ(device.ReadRequests(), (std::vector<int32_t>{42, 58}));
    EXPECT_EQ(Head(), 58u);
    EXPECT_EQ(port->InBuffUsed(), 100u);
    EXPECT_EQ(Peek(100), bytes);
    // GetChar takes them in order across the wrap as well.
    EXPECT_EQ(Take(100), bytes);
    EXPECT_EQ(port->InBuffUsed(), 0u);
}

TEST_F(Rings, AFullRingHolds8192BytesAndTakesNoMoreUntilBytesAreRead) {
    Open();
    Arrive(Pattern(8192 + 100));
    uint32_t head, tail;
    bool full;
    port->InRingState(head, tail, full);
    EXPECT_TRUE(full);
    EXPECT_EQ(head, tail);
    EXPECT_EQ(port->InBuffUsed(), 8192u);
    EXPECT_EQ(port->InBuffFree(), 0u);
    EXPECT_TRUE(port->CharReady());

    device.ClearReadRequests();
    port->ExtractData();
    EXPECT_TRUE(device.ReadRequests().empty());
    EXPECT_EQ(device.RxPending(), 100u);

    EXPECT_EQ(Take(1), "A");
    EXPECT_EQ(port->InBuffFree(), 1u);
    port->ExtractData();
    EXPECT_EQ(device.ReadRequests(), (std::vector<int32_t>{1}));
    EXPECT_EQ(port->InBuffUsed(), 8192u);
    EXPECT_EQ(Take(8192), Pattern(8192, 1));
}

TEST_F(Rings, ReadsOfTooFewBytesChangeNothing) {
    Open();
    char c = '?';
    EXPECT_EQ(port->GetChar(c), ecBufferIsEmpty);
    EXPECT_EQ(c, '?');
    EXPECT_FALSE(port->CharReady());
    Arrive("ab");
    EXPECT_EQ(port->PeekChar(c, 3), ecBufferIsEmpty);
    EXPECT_EQ(port->PeekChar(c, 0), ecBadArgument);
    EXPECT_EQ(port->PeekChar(c, 2), 0);
    EXPECT_EQ(c, 'b');
    char block[3];
    EXPECT_EQ(port->GetBlock(block, 3), ecBufferIsEmpty);
    EXPECT_EQ(port->PeekBlock(block, 3), ecBufferIsEmpty);
    EXPECT_EQ(port->InBuffUsed(), 2u);
    EXPECT_EQ(port->GetBlock(block, 2), 2);
    EXPECT_EQ(std::string(block, 2), "ab");
    EXPECT_EQ(port->GetChar(c), ecBufferIsEmpty);
}

TEST_F(Rings, AFailedDeviceReadAddsNoBytes) {
    Open();
    MoveHeadTo(8150);
    std::string bytes = Pattern(100);
    ASSERT_TRUE(device.Deliver(bytes));
    // The first read (42 bytes at 8150) succeeds, the second one fails.
    device.FailNextRead(-20, 1);
    port->ExtractData();
    EXPECT_EQ(port->InBuffUsed(), 42u);
    EXPECT_EQ(Head(), 0u);
    port->ExtractData();
    EXPECT_EQ(port->InBuffUsed(), 100u);
    EXPECT_EQ(Take(100), bytes);
}

TEST_F(Rings, PutBlockTakesExactlyTheFreeSpaceAndRefusesOneByteMore) {
    Open(4096);
    EXPECT_EQ(port->PutBlock("", 0), 0);
    EXPECT_EQ(port->OutBuffUsed(), 0u);
    std::string block = Pattern(4095);
    EXPECT_EQ(port->PutBlock(block.data(), 4095), 0);
    EXPECT_EQ(port->PutBlock("yz", 2), ecOutputBufferTooSmall);
    EXPECT_EQ(port->OutBuffUsed(), 4095u);
    EXPECT_EQ(port->PutChar('y'), 0);
    EXPECT_EQ(port->OutBuffUsed(), 4096u);
    EXPECT_EQ(port->OutBuffFree(), 0u);
    EXPECT_EQ(port->PutChar('z'), ecOutputBufferTooSmall);
    EXPECT_EQ(port->OutBuffUsed(), 4096u);
}

TEST_F(Rings, AWriteTheDeviceRefusesIsReportedAndNothingCountsAsWritten) {
    Open();
    int32_t sent = port->AddStatusTrigger(stOutSent);
    port->SetStatusTrigger(sent, 0, true);
    device.SetWriteComResult(-5);
    EXPECT_EQ(port->PutString("hello"), ecPutBlockFail);
    EXPECT_FALSE(port->CheckStatusTriggers()); // no output-sent notification
    EXPECT_TRUE(seen.empty());
    // Exactly the free space, refused: the ring is not left marked full.
    std::string whole = Pattern(4096);
    EXPECT_EQ(port->PutBlock(whole.data(), 4096), ecPutBlockFail);
    EXPECT_EQ(port->OutBuffUsed(), 0u);
    // A device that takes only part of the block: not reported as success.
    device.SetWriteComResult(2);
    EXPECT_EQ(port->PutString("hello"), ecPutBlockFail);
    device.SetWriteComResult(INT32_MIN);
    EXPECT_EQ(port->PutString("hello"), 0);
    EXPECT_EQ(port->OutBuffUsed(), 5u);
    EXPECT_TRUE(port->CheckStatusTriggers());
    EXPECT_EQ(seen.back().msg, PortMsgStatus);
}

TEST_F(Rings, AWrappedOutputRingIsRotatedIntoOneRunEvenWhenFull) {
    Open(64);
    auto take = [&] {
        const uint8_t* chunk = nullptr;
        uint32_t length = 0;
        if (!port->TakeOutputChunk(chunk, length)) return std::string();
        return std::string(reinterpret_cast<const char*>(chunk), length);
    };
    std::string first = Pattern(10);
    ASSERT_EQ(port->QueueOutput(first.data(), 10), 10);
    EXPECT_EQ(take(), first);
    port->ConsumeOutput(5); // the device took half of it: tail 5, head 10
    std::string rest = Pattern(59, 10);
    ASSERT_EQ(port->QueueOutput(rest.data(), 59), 59); // head wraps round to 5: full
    EXPECT_EQ(port->OutRingUsed(), 64u);
    EXPECT_EQ(take(), first.substr(5) + rest);
    port->ConsumeOutput(64);
    EXPECT_EQ(port->OutRingUsed(), 0u);
    EXPECT_EQ(take(), "");
    // The ring is whole again: another full ring fits and comes out in order.
    std::string again = Pattern(64, 3);
    ASSERT_EQ(port->QueueOutput(again.data(), 64), 64);
    EXPECT_EQ(take(), again);
    port->ConsumeOutput(60);
    std::string tail = Pattern(30, 7);
    ASSERT_EQ(port->QueueOutput(tail.data(), 30), 30); // wrapped, not full
    EXPECT_EQ(take(), again.substr(60) + tail);
    EXPECT_EQ(port->QueueOutput(tail.data(), 31), 30); // never more than the room
}

TEST_F(Rings, FlushingTheOutputWithoutAnOutputThreadKeepsTheInput) {
    Open();
    EXPECT_EQ(port->PutString("queued"), 0);
    ASSERT_TRUE(device.Deliver("in"));
    EXPECT_EQ(port->FlushOutBuffer(), 0);
    EXPECT_EQ(port->OutBuffUsed(), 0u);
    EXPECT_EQ(device.RxPending(), 2u);
    EXPECT_EQ(device.ReceivePurges(), 0);
    EXPECT_EQ(device.TransmitPurges(), 1);
    EXPECT_EQ(port->FlushInBuffer(), 0);
    EXPECT_EQ(device.RxPending(), 0u);
}

TEST_F(Rings, SetLineNormalisesItsArguments) {
    struct Row {
        int32_t baud;
        uint32_t parity;
        uint16_t dataBits, stopBits;
        int32_t result;
        bool written;
        uint32_t wantBaud;
        uint8_t wantParity, wantByteSize, wantStopBits;
    } rows[] = {
        {9600, 5, 9, 3, 0, true, 9600, pNone, 8, ONESTOPBIT},   // only the rate
        {0, pEven, 9, 3, 0, true, 19200, pEven, 8, ONESTOPBIT}, // only the parity
        {0, 5, 7, 2, 0, true, 19200, pNone, 7, TWOSTOPBITS},
        {0, 5, 9, 0, 0, false, 19200, pNone, 8, ONESTOPBIT},  // 0 stop bits is 1
        {0, 5, 9, 7, 0, true, 19200, pNone, 8, TWOSTOPBITS},  // above 2 is 2
        {0, 5, 5, 2, 0, true, 19200, pNone, 5, ONE5STOPBITS}, // 5 bits: 1.5
        {0, 5, 5, 1, 0, true, 19200, pNone, 5, ONE5STOPBITS},
        {19200, pNone, 8, 1, 0, false, 19200, pNone, 8, ONESTOPBIT}, // in force
        {0, 6, 8, 1, ecBadArgument, false, 19200, pNone, 8, ONESTOPBIT},
        {0, 5, 4, 1, ecBadArgument, false, 19200, pNone, 8, ONESTOPBIT},
    };
    for (const Row& row : rows) {
        Open();
        int writes = device.SetComStateCount();
        int64_t before = clock.NowMs();
        EXPECT_EQ(port->SetLine(row.baud, row.parity, row.dataBits, row.stopBits), row.result)
            << row.baud << "/" << row.parity << "/" << row.dataBits << "/" << row.stopBits;
        TDCB dcb = device.LineSettings();
        EXPECT_EQ(device.SetComStateCount() > writes, row.written) << row.dataBits << row.stopBits;
        EXPECT_EQ(dcb.BaudRate, row.wantBaud);
        EXPECT_EQ(dcb.Parity, row.wantParity);
        EXPECT_EQ(dcb.ByteSize, row.wantByteSize);
        EXPECT_EQ(dcb.StopBits, row.wantStopBits) << row.dataBits << "/" << row.stopBits;
        // A change first waits 18 characters at the old setting: 10 ms at 19200 8N1.
        EXPECT_EQ(clock.NowMs() - before, row.written ? 10 : 0);
        port.reset();
    }
}

TEST_F(Rings, GetLineMapsTheLegacyRateIndices) {
    Open();
    struct Row {
        uint32_t stored, reported;
    } rows[] = {
        {0xFF16, 9600}, {0xFEFF, 115200}, {0xFF27, 256000}, {0xFF19, 0xFF19}, {57600, 57600}};
    for (const Row& row : rows) {
        TDCB dcb = device.LineSettings();
        dcb.BaudRate = row.stored;
        port->SetComState(dcb);
        int32_t baud;
        uint32_t parity;
        uint16_t stopBits, dataBits;
        port->GetLine(baud, parity, stopBits, dataBits);
        EXPECT_EQ(static_cast<uint32_t>(baud), row.reported) << row.stored;
    }
}

TEST_F(Rings, ModemLinesAndTheirChanges) {
    Open();
    device.SetModemLines(MsrCts | MsrDcd);
    port->MapEventsToMS();
    EXPECT_EQ(port->ModemStatusByte(), MsrCts | MsrDcd | MsrDeltaCts | MsrDeltaDcd);
    EXPECT_TRUE(port->CheckDeltaCTS());
    EXPECT_FALSE(port->CheckDeltaCTS());
    EXPECT_TRUE(port->CheckCTS());
    EXPECT_FALSE(port->CheckDSR());
    EXPECT_TRUE(port->CheckDeltaDCD());
    device.SetModemLines(MsrDcd);
    port->MapEventsToMS();
    // GetModemStatus returns the byte with its changes and clears them.
    EXPECT_EQ(port->GetModemStatus(), MsrDcd | MsrDeltaCts);
    EXPECT_EQ(port->GetModemStatus(), MsrDcd);
}

TEST_F(Rings, LineErrorsAreReportedInOrderAndAWriteDoesNotLoseThem) {
    Open();
    device.RaiseLineError(CE_FRAME | CE_BREAK | CE_RXPARITY);
    port->RefreshStatus();
    EXPECT_EQ(port->PutString("x"), 0); // reads the device status again
    EXPECT_EQ(port->GetLineError(), 3); // parity before framing
    EXPECT_EQ(port->GetLineError(), 9); // framing cleared with it; the break stays
    EXPECT_TRUE(port->CheckLineBreak());
    EXPECT_EQ(port->GetLineError(), 0);
    EXPECT_FALSE(port->CheckLineBreak());
}

TEST_F(Rings, LinesUnderFlowControlAreNotSetByHand) {
    Open(4096, 0x10 | 0x02); // DTR under flow control, RTS on
    EXPECT_EQ(port->SetDtr(false), 1);
    EXPECT_TRUE(device.Rts());
    EXPECT_EQ(port->SetRts(false), 0);
    EXPECT_FALSE(device.Rts());
    device.SetEscapeResult(-1);
    EXPECT_EQ(port->SetRts(true), ecBadArgument);
    device.SetEscapeResult(0);
    EXPECT_EQ(port->SendBreak(2, false), 0);
    EXPECT_FALSE(device.BreakOn());
    EXPECT_EQ(port->HWFlowOptions(100, 200, 1), ecBadArgument); // full below resume
    EXPECT_EQ(port->HWFlowOptions(5000, 10, 1), ecBadArgument); // above the queue
    EXPECT_EQ(port->HWFlowOptions(3686, 410, 1 | 8), 0);
    TDCB dcb = device.LineSettings();
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_TRUE(dcb.fOutxCtsFlow);
    EXPECT_EQ(dcb.XoffLim, 4096 - 3686);
    EXPECT_EQ(dcb.XonLim, 410);
    EXPECT_EQ(port->HWFlowState(), fcOn + 1);
}

TEST_F(Rings, RS485WithoutDriverSupportNeedsABaseAddressAndRaisesRts) {
    device.SetDriverRS485(false);
    Open(4096, 0);
    port->SetRS485Mode(true);
    EXPECT_EQ(port->PutString("abc"), ecBaseAddressNotSet);
    EXPECT_EQ(port->OutBuffUsed(), 0u);
    device.SetBaseAddress(0x3F8);
    port->SetRS485Mode(true);
    EXPECT_EQ(port->GetBaseAddress(), 0x3F8);
    EXPECT_FALSE(device.Rts());
    EXPECT_EQ(port->PutString("abc"), 0);
    EXPECT_TRUE(device.Rts());
    EXPECT_EQ(port->OutBuffUsed(), 3u);
}

TEST_F(Rings, AFailedOpenReturnsItsErrorAndLeavesNothingBehind) {
    struct Row {
        int32_t result, lastError, expected;
    } rows[] = {{-1, 2, -2}, {-1, 5, -5}, {-8, 0, -8}, {-3, 0, -3}};
    for (const Row& row : rows) {
        device.FailOpen(row.result, row.lastError);
        TFakeDispatcher failing(device, false, nullptr, &loop);
        EXPECT_EQ(failing.Open(), row.expected);
        EXPECT_FALSE(failing.RingsAllocated());
        EXPECT_LT(failing.DeviceHandle(), 0);
    }
}
