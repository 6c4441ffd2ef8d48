#include "tool/Polling.h"

#include "tool/DecimalText.h"
#include "tool/ManualRead.h"
#include "tool/ModbusFrame.h"
#include "tool/Unit1.h"

namespace tool {

namespace {

// The request of grid row PollRow; an address of 0 marks the end of the table, which
// sends nothing and starts the cycle again.
TModbusFrame BuildTableRequest(TMainForm& f) {
    int row = static_cast<int>(f.PollRow);
    auto address = static_cast<uint16_t>(DecimalToLong(f.StringGrid3.Cell(1, row)));
    f.RequestQuantity = static_cast<int32_t>(DecimalToLong(f.StringGrid3.Cell(4, row)));
    // A text entry counts characters, two to a register.
    if (f.StringGrid3.Cell(3, row).starts_with('c')) f.RequestQuantity /= 2;
    if (address == 0) {
        f.PollRow = 0;
        f.RowCursor = 0;
        return {};
    }
    auto slave = static_cast<uint8_t>(DecimalToLong(f.Edit10.Text()));
    return BuildReadRequest(f, slave, static_cast<uint16_t>(address - 1),
                            static_cast<uint16_t>(f.RequestQuantity));
}

// What a table request asks for: the row's address, type, count, OBIS code and note.
TReading DescribeRow(const TMainForm& f, int row) {
    TReading asked;
    asked.Target = TReadingTarget::GridRow;
    asked.Row = row;
    asked.Address = static_cast<uint16_t>(DecimalToLong(f.StringGrid3.Cell(1, row)));
    const std::string& type = f.StringGrid3.Cell(3, row);
    asked.Type = type.empty() ? 0 : type[0];
    asked.Count = static_cast<uint16_t>(f.RequestQuantity);
    asked.Obis = f.StringGrid3.Cell(5, row);
    asked.Note = f.StringGrid3.Cell(6, row);
    return asked;
}

void StartPolling(TMainForm& f, uint32_t autoAdvance) {
    f.GridPolling = 1;
    f.AutoAdvance = autoAdvance;
    f.SingleShot = 0;
    f.Timer6.SetInterval(PollIntervalMs);
    f.Timer6.SetEnabled(true);
    f.Label43.SetColor(clLime);
    f.Label44.SetColor(clBtnFace);
    f.Label45.SetColor(clBtnFace);
    f.BitBtn2.LoadGlyph(autoAdvance ? "BmpOK.bmp" : "BmpX.bmp");
    f.BitBtn3.LoadGlyph(autoAdvance ? "BmpX.bmp" : "BmpOK.bmp");
}

void ShowPollingStopped(TMainForm& f) {
    f.Label43.SetColor(clBtnFace);
    f.Label44.SetColor(clLime);
    f.Label45.SetColor(clLime);
    f.BitBtn2.LoadGlyph("BmpX.bmp");
    f.BitBtn3.LoadGlyph("BmpX.bmp");
}

} // namespace

void TMainForm::PollTick() {
    Memo2.Clear();
    if (SingleShot == 1) {
        PollRow = static_cast<uint32_t>(StringGrid3.Row());
        RowCursor = static_cast<int32_t>(PollRow);
        Button42.Click();
    } else if (AutoAdvance == 1) {
        ++RowCursor;
        PollRow = static_cast<uint32_t>(RowCursor);
    } else {
        PollRow = static_cast<uint32_t>(RowCursor);
    }
    ClearShownValue(TReadingTarget::GridRow, static_cast<int>(PollRow));
    TModbusFrame frame;
    TReading asked;
    if (GridPolling == 1) {
        int row = static_cast<int>(PollRow);
        frame = BuildTableRequest(*this);
        asked = DescribeRow(*this, row);
    } else {
        ClearShownValue(TReadingTarget::ManualRead, 0);
        frame = BuildManualRequest(*this);
        asked = DescribeManualRead(*this);
        Timer6.SetEnabled(false);
    }
    SendRequest(*this, frame, std::move(asked));
    // The manual read ends any polling: the lamps and glyphs say so.
    if (GridPolling != 1) ShowPollingStopped(*this);
}

void TMainForm::BitBtn2Click() {
    StartPolling(*this, 1);
}

void TMainForm::BitBtn3Click() {
    StartPolling(*this, 0);
}

void TMainForm::Button42Click() {
    Timer6.SetEnabled(false);
    ShowPollingStopped(*this);
}

void TMainForm::Button43Click() {
    RowCursor = 0;
}

void TMainForm::StringGrid3DblClick() {
    GridPolling = 1;
    Timer6.SetInterval(SingleRequestIntervalMs);
    Timer6.SetEnabled(true);
    SingleShot = 1;
}

} // namespace tool
