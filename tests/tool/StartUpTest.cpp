#include "FormFixture.h"

#include <gtest/gtest.h>

using namespace fakes;
using namespace winsys;

namespace {

class StartUp : public FormFixture {};

TEST_F(StartUp, WithoutConfigFileTheToolStartsInRtuFramingWithTable1Loaded) {
    WriteGlyphs();
    WriteFile("Table1.c", "Table\n>454 d 4<1.8.0><kWh>\n");
    application.Guard([&] { form->FormCreate(); });
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(form->ModbusTcp, 0u);
    EXPECT_EQ(form->Label47.Caption(), "MB RTU");
    EXPECT_EQ(form->Shape8.BrushColor(), clMoneyGreen);
    EXPECT_EQ(form->StringGrid3.Cell(1, 1), "454");
    EXPECT_EQ(form->StringGrid3.Cell(2, 0), "Valore letto");
    EXPECT_STREQ(form->TableFileName, "Table1.c");
    EXPECT_FALSE(form->Timer6.Enabled());
    EXPECT_EQ(form->Label43.Color(), clBtnFace);
    EXPECT_EQ(form->Label44.Color(), clLime);
    EXPECT_EQ(form->BitBtn2.Glyph().fileName, "BmpX.bmp");
    EXPECT_EQ(form->BitBtn3.Glyph().fileName, "BmpX.bmp");
    EXPECT_TRUE(form->Button21.Visible() && form->Edit2.Visible() && form->Label40.Visible() &&
                form->Label26.Visible());
    EXPECT_EQ(form->Memo2.Text(), "");
}

TEST_F(StartUp, WithoutBmpXItStopsAtStopPollingAndTheErrorNamesTheFile) {
    WriteFile("BmpOK.bmp", TinyBitmap());
    application.Guard([&] { form->FormCreate(); });
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("\"BmpX.bmp\""), std::string::npos) << Errors()[0];
    EXPECT_EQ(form->ModbusTcp, 1u);
    EXPECT_EQ(form->Label47.Caption(), "TCP");
    EXPECT_FALSE(form->Button21.Visible());
    EXPECT_FALSE(form->Label40.Visible());
    // Steps before the failing one took effect.
    EXPECT_EQ(form->StringGrid3.Cell(0, 1), "1");
    EXPECT_FALSE(form->Timer6.Enabled());
}

TEST_F(StartUp, WithoutTable1TheGridIsBlankAndNumbered) {
    WriteGlyphs();
    form->FormCreate();
    EXPECT_EQ(form->StringGrid3.Cell(0, 299), "299");
    EXPECT_EQ(form->StringGrid3.Cell(1, 1), " ");
    EXPECT_EQ(form->StatusBar1.Color(), clGradientInactiveCaption);
}

} // namespace
