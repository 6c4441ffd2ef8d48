#include "FormFixture.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace fakes;
using namespace winsys;

namespace {

class ConfigProtocol : public FormFixture {
  protected:
    void SetUp() override {
        serial->SetOpen(true);
        form->HexDisplay = 1;
        form->Memo2.SetText("old reply\r\n");
    }
    std::vector<TEdit*> Fields() {
        return {&form->Edit10, &form->Edit11, &form->Edit12, &form->Edit13,
                &form->Edit14, &form->Edit15, &form->Edit16, &form->Edit31,
                &form->Edit38, &form->Edit35, &form->Edit36, &form->Edit37};
    }
    void ClearFields() {
        for (TEdit* e : Fields())
            e->SetText("");
    }
};

TEST_F(ConfigProtocol, TheReadRequestsCarryNoLineEndAndGoToBothPorts) {
    struct Case {
        TButton* button;
        const char* request;
        const char* status;
    };
    network->SetOpen(true);
    for (Case c : {Case{&form->Button20, "<CMD_ReadRelease", "    READ RELEASE"},
                   Case{&form->Button17, "<CMD_Readcfg", "    READ COFIGURATION"}}) {
        form->HexDisplay = 1;
        form->Memo2.SetText("old reply\r\n");
        c.button->Click();
        EXPECT_EQ(serial->TakeWritten(), c.request);
        EXPECT_EQ(network->TakeWritten(), c.request);
        EXPECT_EQ(form->StatusBar1.Text(), c.status);
        EXPECT_EQ(form->HexDisplay, 0u);
        EXPECT_EQ(form->Memo2.Text(), "");
        EXPECT_EQ(form->TxText[0], 0);
    }
}

TEST_F(ConfigProtocol, WithAllFieldsEmptyTheWriteIsExactlyItsFixed136Bytes) {
    ClearFields();
    form->Button18.Click();
    const std::string expected = "<config_begin\r\n"
                                 "ModAdd:\r\nMod485:\r\nCont485:\r\nContTime:\r\nSpare:\r\n"
                                 "Serie_1:\r\nSerie_2:\r\nBaudrate:\r\nDDBBGG:\r\n"
                                 "Var1:\r\nVar2:\r\nVar3:\r\n"
                                 "config_end>\r\n";
    ASSERT_EQ(expected.size(), 136u);
    EXPECT_EQ(serial->Written(), expected);
    EXPECT_EQ(form->StatusBar1.Text(), "    WRITE CONFIGURATION ");
    EXPECT_EQ(form->HexDisplay, 0u);
    EXPECT_EQ(form->Memo2.Text(), "");
}

TEST_F(ConfigProtocol, TheDesignTimeTextsGoOutUnchangedAfterTheirKeys) {
    form->Edit36.SetText(" a b ");
    form->Button18.Click();
    EXPECT_EQ(serial->Written(), "<config_begin\r\n"
                                 "ModAdd:10\r\nMod485:1\r\nCont485:1\r\nContTime:2\r\nSpare:2\r\n"
                                 "Serie_1:12345678\r\nSerie_2:12345678\r\nBaudrate:22\r\n"
                                 "DDBBGG:Edit38\r\nVar1:Edit35\r\nVar2: a b \r\nVar3:Edit37\r\n"
                                 "config_end>\r\n");
}

TEST_F(ConfigProtocol, AWriteOfMoreThan163CharactersOfValuesIsRefusedAndNothingIsSent) {
    ClearFields();
    form->Edit35.SetText(std::string(100, 'a'));
    form->Edit36.SetText(std::string(63, 'b'));
    form->Button18.Click();
    EXPECT_EQ(serial->TakeWritten().size(), 299u) << "163 characters still fit";

    form->Edit37.SetText("c");
    form->Memo2.SetText("old reply\r\n");
    form->HexDisplay = 1;
    form->Button18.Click();
    EXPECT_EQ(serial->Written(), "");
    EXPECT_EQ(form->StatusBar1.Text(),
              "    WRITE CONFIGURATION refused: the values hold 164 characters, at most 163 fit");
    EXPECT_EQ(form->Memo2.Text(), "old reply\r\n");
    EXPECT_EQ(form->HexDisplay, 1u);
}

TEST_F(ConfigProtocol, AReadAfterAFailedSendCarriesTheOldRequestWhenItFits) {
    // The write fails on the port and stays in TxText; the next read goes out after it.
    ClearFields();
    serial->OutputBufferSize = 10;
    EXPECT_THROW(form->Button18.Click(), FakePortError);
    serial->OutputBufferSize = 8192;
    std::string stale = form->TxText;
    EXPECT_EQ(stale.size(), 136u);
    form->Button20.Click();
    EXPECT_EQ(serial->TakeWritten(), stale + "<CMD_ReadRelease");

    // An unsent request that leaves no room: the read is refused and nothing is sent.
    form->Edit35.SetText(std::string(160, 'a'));
    serial->OutputBufferSize = 10;
    EXPECT_THROW(form->Button18.Click(), FakePortError);
    serial->OutputBufferSize = 8192;
    form->Button17.Click();
    EXPECT_EQ(serial->Written(), "");
    EXPECT_EQ(form->StatusBar1.Text(), "    READ COFIGURATION not sent: an earlier unsent request "
                                       "fills the send area");
    EXPECT_EQ(std::strlen(form->TxText), 296u);
}

TEST_F(ConfigProtocol, WithNoPortOpenNothingIsSentButTheMonitorIsCleared) {
    serial->SetOpen(false);
    form->Button18.Click();
    EXPECT_EQ(serial->Written(), "");
    EXPECT_EQ(form->Memo2.Text(), "");
    EXPECT_EQ(form->TxText[0], 0);
}

} // namespace
