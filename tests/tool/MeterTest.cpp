#include "FormFixture.h"

#include <gtest/gtest.h>

using namespace fakes;
using namespace winsys;

namespace {

const std::string Request = "/?0000!\r\n";
const std::string Ack = "\x06"
                        "050\r\n";

class Meter : public FormFixture {
  protected:
    void SetUp() override {
        WriteGlyphs();
        serial->SetOpen(true);
    }
    void ReadConfig(const std::string& text) {
        WriteFile("Config1.c", text);
        form->Button23.Click();
        serial->SetOpen(true); // the reading closed it
    }
};

TEST_F(Meter, TheAcknowledgementFollowsTheRequestByTheConfiguredDelay) {
    ReadConfig("Timer_T3: 3000\r\n");
    form->Memo2.SetText("old\r\n");
    form->HexDisplay = 1;
    form->Button21.Click();
    EXPECT_EQ(serial->TakeWritten(), Request);
    EXPECT_EQ(form->StatusBar1.Text(), "    Interrogazione Contatore");
    EXPECT_EQ(form->Memo2.Text(), "");
    EXPECT_EQ(form->HexDisplay, 0u);

    form->Memo2.SetText("identification\r\n");
    Advance(2999);
    EXPECT_EQ(serial->Written(), "");
    Advance(1);
    EXPECT_EQ(serial->TakeWritten(), Ack);
    EXPECT_EQ(form->StatusBar1.Text(), "    Send ACK");
    EXPECT_EQ(form->Memo2.Text(), "identification\r\n") << "the readout follows in the monitor";
    EXPECT_FALSE(form->Timer3.Enabled());
    Advance(10000);
    EXPECT_EQ(serial->Written(), "") << "one acknowledgement per Read";
}

TEST_F(Meter, ASecondReadDuringTheDelayDoesNotRestartIt) {
    ReadConfig("Timer_T3: 3000\r\n");
    form->Button21.Click();
    Advance(1000);
    form->Memo2.SetText("identification\r\n");
    form->Button21.Click();
    EXPECT_EQ(serial->TakeWritten(), Request + Request);
    EXPECT_EQ(form->Memo2.Text(), "");
    Advance(2000);
    EXPECT_EQ(serial->TakeWritten(), Ack);
    Advance(5000);
    EXPECT_EQ(serial->Written(), "");
}

TEST_F(Meter, WithoutTheFileTheDesignTimeDelayHoldsAndTypingIntoEdit2ChangesNothing) {
    form->Edit2.TypeText("100");
    form->Button21.Click();
    Advance(4999);
    EXPECT_EQ(serial->TakeWritten(), Request);
    Advance(1);
    EXPECT_EQ(serial->TakeWritten(), Ack);
}

TEST_F(Meter, BothOpenPortsCarryBothMessages) {
    network->SetOpen(true);
    form->Button21.Click();
    Advance(5000);
    EXPECT_EQ(serial->Written(), Request + Ack);
    EXPECT_EQ(network->Written(), Request + Ack);
}

TEST_F(Meter, ANegativeDelaySendsNoAcknowledgementAndSaysSo) {
    for (const char* file : {"", "Timer_T3: -20\r\n"}) {
        ReadConfig(file);
        EXPECT_EQ(form->Edit2.Text(), file[0] ? "-20" : "-1");
        form->Button21.Click();
        EXPECT_EQ(serial->TakeWritten(), Request) << file;
        EXPECT_EQ(form->StatusBar1.Text(), "    Interrogazione Contatore - ACK time not set "
                                           "(Timer_T3: in CONFIG1 FILE): no ACK will be sent");
        EXPECT_FALSE(form->Timer3.Enabled());
        Advance(60000);
        EXPECT_EQ(serial->TakeWritten(), "") << file;
    }
}

TEST_F(Meter, ReadingANegativeDelayDropsAWaitingAcknowledgement) {
    ReadConfig("Timer_T3: 3000\r\n");
    form->Button21.Click();
    serial->TakeWritten();
    Advance(1000);
    ReadConfig("no timer key\r\n");
    EXPECT_FALSE(form->Timer3.Enabled());
    Advance(60000);
    EXPECT_EQ(serial->Written(), "");
}

TEST_F(Meter, ReadingAnotherDelayDuringTheWaitRestartsItWithTheNewOne) {
    ReadConfig("Timer_T3: 3000\r\n");
    form->Button21.Click();
    serial->TakeWritten();
    Advance(1000);
    ReadConfig("Timer_T3: 500\r\n");
    Advance(499);
    EXPECT_EQ(serial->Written(), "");
    Advance(1);
    EXPECT_EQ(serial->TakeWritten(), Ack);
}

TEST_F(Meter, ADelayOfZeroKeepsTheTimerOnWithoutEverAcknowledging) {
    ReadConfig("Timer_T3: 0\r\n");
    form->Button21.Click();
    EXPECT_EQ(form->StatusBar1.Text(), "    Interrogazione Contatore");
    EXPECT_TRUE(form->Timer3.Enabled());
    Advance(60000);
    EXPECT_EQ(serial->TakeWritten(), Request);
}

TEST_F(Meter, AFailedRequestLeavesTheDelayOff) {
    serial->OutputBufferSize = 4;
    EXPECT_THROW(form->Button21.Click(), FakePortError);
    EXPECT_FALSE(form->Timer3.Enabled());
    EXPECT_EQ(form->StatusBar1.Text(), "    Interrogazione Contatore");
}

TEST_F(Meter, AnAcknowledgementThatCannotBeSentFailsOnceAndStopsTheDelay) {
    ReadConfig("Timer_T3: 1000\r\n");
    form->Button21.Click();
    EXPECT_EQ(serial->TakeWritten(), Request);
    serial->OutputBufferSize = 4; // the acknowledgement no longer fits
    Advance(1000);
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_FALSE(form->Timer3.Enabled());
    Advance(5000);
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(serial->TakeWritten(), "");
}

} // namespace
