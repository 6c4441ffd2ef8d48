#include "FormFixture.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace fakes;
using namespace winsys;

namespace {

class ReceiveSend : public FormFixture {
  protected:
    void SetUp() override {
        serial->SetOpen(true);
        form->Timer1.OnTimer = [this] {
            completions.push_back(clock.NowMs());
            form->Timer1.SetEnabled(false);
        };
    }
    std::vector<int64_t> completions;
};

TEST_F(ReceiveSend, BytesLandInOrderAndCompletionComes250msAfterTheFirstEvent) {
    int64_t start = clock.NowMs();
    serial->Deliver("\x0A\x03");
    Pump();
    Advance(100);
    serial->Deliver(std::string("\x04\x00\x01", 3));
    Advance(200);
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(completions[0] - start, 250);
    EXPECT_EQ(form->RxCount, 5);
    EXPECT_EQ(std::memcmp(form->RxBuffer, "\x0A\x03\x04\x00\x01", 5), 0);
    EXPECT_EQ(form->Label17.Color(), clLime);
}

// More than the buffer's 3001 bytes before a completion: what it holds goes to the
// monitor first, and nothing is written over.
TEST_F(ReceiveSend, AFullBufferIsShownBeforeTheNextByteIsStored) {
    form->Timer1.OnTimer = [this] { form->CompleteResponse(); };
    for (bool hex : {false, true}) {
        form->HexDisplay = hex ? 1 : 0;
        form->Memo2.SetText("");
        std::string bytes(3002, 'a');
        bytes[3000] = 'X';
        bytes[3001] = 'Y';
        serial->Deliver(bytes);
        Pump();
        if (!hex) {
            EXPECT_EQ(form->Memo2.Text(), bytes.substr(0, 3001));
            EXPECT_EQ(form->RxCount, 1);
        }
        Advance(250);
        std::string shown;
        for (char c : bytes)
            shown += hex ? (c == 'a' ? "_61" : c == 'X' ? "_58" : "_59") : std::string(1, c);
        EXPECT_EQ(form->Memo2.Text(), shown) << (hex ? "hex" : "text");
    }
}

TEST_F(ReceiveSend, ACountOfZeroStoresNothingButArmsCompletion) {
    form->ComPort1TriggerAvail(serial, 0);
    EXPECT_EQ(form->RxCount, 0);
    EXPECT_TRUE(form->Timer1.Enabled());
}

TEST_F(ReceiveSend, AGetCharErrorEndsTheHandlerAndLeavesCompletionOff) {
    serial->Deliver("ab");
    EXPECT_THROW(form->ComPort1TriggerAvail(serial, 3), FakePortError); // one more than there is
    EXPECT_EQ(form->RxCount, 2);
    EXPECT_FALSE(form->Timer1.Enabled());
}

TEST_F(ReceiveSend, SendWritesUpToTheFirstZeroToEveryOpenPortSerialFirstAndClears) {
    network->SetOpen(true);
    std::memcpy(form->TxText, "ab\0cd", 5);
    form->Button10.Click();
    EXPECT_EQ(serial->Written(), "ab");
    EXPECT_EQ(network->Written(), "ab");
    EXPECT_EQ(form->Label18.Color(), clLime);
    EXPECT_EQ(form->Label23.Color(), clLime);
    for (char c : form->TxText)
        ASSERT_EQ(c, 0);
}

TEST_F(ReceiveSend, SendWithNoOpenPortOnlyClears) {
    serial->SetOpen(false);
    std::strcpy(form->TxText, "<CMD_Readcfg");
    form->Button10.Click();
    EXPECT_EQ(serial->Written(), "");
    EXPECT_EQ(form->TxText[0], 0);
}

TEST_F(ReceiveSend, LampsGoOutAtTheTwoSecondTickAndAKeyInTheMonitorShowsTasto) {
    form->Label17.SetColor(clLime);
    Advance(2000);
    EXPECT_EQ(form->Label17.Color(), clBtnFace);
    EXPECT_EQ(form->Label12.Color(), clBtnFace);
    form->KeyPress(form->Memo2, 'x');
    EXPECT_EQ(form->Label18.Caption(), "Tasto");
    EXPECT_EQ(form->Label18.Color(), clBtnFace);
    form->Memo2.DblClick();
    EXPECT_EQ(form->Memo2.Text(), "");
}

} // namespace
