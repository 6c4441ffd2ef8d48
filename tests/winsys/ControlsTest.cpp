#include "winsys/Controls.h"
#include "winsys/Exception.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace winsys;

namespace {

struct Window : TForm {
    Window() : TForm("Form1", "caption") {}
    TButton ok{this, "BitBtn1", "Read Status"};
    TEdit edit{this, "Edit10", "10", 3};
    TComboBox combo{this, "ComboBox1", "COM X"};
    TMemo memo{this, "Memo2", ""};
};

} // namespace

TEST(Controls, TypingLimitBindsTheOperatorOnly) {
    Window w;
    int changes = 0;
    w.edit.OnChange = [&] { ++changes; };
    w.edit.TypeText("12345");
    EXPECT_EQ(w.edit.Text(), "123");
    w.edit.SetText("a longer program text");
    EXPECT_EQ(w.edit.Text(), "a longer program text");
    EXPECT_EQ(changes, 2);
}

TEST(Controls, ComboSelectionAndTyping) {
    Window w;
    int changes = 0;
    w.combo.OnChange = [&] { ++changes; };
    w.combo.AddItem("COM3");
    w.combo.AddItem("COM12");
    EXPECT_EQ(w.combo.ItemIndex(), -1);
    EXPECT_EQ(w.combo.Text(), "COM X");
    EXPECT_TRUE(w.combo.Select(1));
    EXPECT_EQ(w.combo.Text(), "COM12");
    EXPECT_EQ(w.combo.ItemIndex(), 1);
    w.combo.TypeText("COM7");
    EXPECT_EQ(w.combo.ItemIndex(), -1);
    EXPECT_FALSE(w.combo.Select(5));
    EXPECT_EQ(changes, 2);
    w.combo.SetItemIndex(0); // the program's choice fires nothing
    EXPECT_EQ(w.combo.Text(), "COM3");
    w.combo.SetItemIndex(-1);
    EXPECT_EQ(w.combo.Text(), "");
    EXPECT_EQ(changes, 2);
}

TEST(Controls, EnterGoesToTheDefaultButtonExceptInTheMemo) {
    Window w;
    w.DefaultButton = &w.ok;
    int clicks = 0;
    w.ok.OnClick = [&] { ++clicks; };
    w.KeyPress(w.edit, KeyReturn);
    EXPECT_EQ(clicks, 1);
    w.KeyPress(w.memo, KeyReturn);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(w.memo.Text(), "\r\n");
    // Enter on a button clicks that button, not the default one.
    TButton other{&w, "Button40", "Tabella1"};
    int otherClicks = 0;
    other.OnClick = [&] { ++otherClicks; };
    w.KeyPress(other, KeyReturn);
    EXPECT_EQ(otherClicks, 1);
    w.KeyPress(w.ok, KeyReturn);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(otherClicks, 1);
}

TEST(Controls, MemoKeyPressSeesTheKeyAndTheKeyLandsAtTheCaret) {
    Window w;
    char seen = 0;
    w.memo.OnKeyPress = [&](char& key) { seen = key; };
    w.memo.SetText("ab");
    w.memo.CaretToEnd();
    w.KeyPress(w.memo, 'c');
    EXPECT_EQ(seen, 'c');
    EXPECT_EQ(w.memo.Text(), "abc");
    EXPECT_EQ(w.memo.SelStart(), 3u);
    w.memo.SetSelStart(1); // the operator clicked between a and b
    w.KeyPress(w.memo, 'x');
    EXPECT_EQ(w.memo.Text(), "axbc");
    EXPECT_EQ(w.memo.SelStart(), 2u);
    w.memo.SetSelStart(99);
    EXPECT_EQ(w.memo.SelStart(), 4u);
}

TEST(Controls, GridIgnoresCellsOutsideAndNotifiesTheChangedCell) {
    TForm form("F", "");
    TStringGrid grid(&form, "StringGrid3", 7, 300);
    int notified = 0;
    grid.AddObserver([&](Control&, Change c) { notified += c == Change::Cell; });
    grid.SetCell(2, 299, "x");
    grid.SetCell(7, 0, "y");
    grid.SetCell(0, 300, "y");
    EXPECT_EQ(grid.Cell(2, 299), "x");
    EXPECT_EQ(grid.Cell(7, 0), "");
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(grid.ChangedRow(), 299);
}

TEST(Controls, AGlyphThatIsMissingOrInvalidRaisesWithTheFileName) {
    TForm form("F", "");
    TBitBtn button(&form, "BitBtn4", "Chiusa");
    try {
        button.LoadGlyph("NoSuchGlyph.bmp");
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(std::string(e.what()).find("NoSuchGlyph.bmp"), std::string::npos);
    }
    { std::ofstream("NotABitmap.bmp") << "BMjunk"; }
    EXPECT_THROW(button.LoadGlyph("NotABitmap.bmp"), EInvalidGraphic);
    std::remove("NotABitmap.bmp");
}

TEST(Controls, AValidBitmapLoads) {
    // 2x2, 24 bits: 14 + 40 header bytes, rows padded to 8 bytes.
    std::vector<uint8_t> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                                0,   0,   0,  2, 0, 0, 0, 2, 0, 0, 0,  1, 0, 24, 0};
    bmp.resize(70, 0);
    {
        std::ofstream("Tiny.bmp", std::ios::binary)
            .write(reinterpret_cast<char*>(bmp.data()), bmp.size());
    }
    TForm form("F", "");
    TBitBtn button(&form, "BitBtn4", "Chiusa");
    button.LoadGlyph("Tiny.bmp");
    EXPECT_EQ(button.Glyph().width, 2);
    EXPECT_EQ(button.Glyph().bitsPerPixel, 24);
    std::remove("Tiny.bmp");
}
