#pragma once
// The main window with fake ports, a three-row register table loaded, the serial port
// open in RTU, and the commissioning record on a clock of the test's own: the fixture
// of the commissioning record's tests on either platform.
#include "FormFixture.h"
#include "ModbusReplies.h"
#include "tool/Commissioning.h"

#include <chrono>
#include <memory>
#include <string>

namespace fakes {

class CommissioningFixture : public FormFixture {
  protected:
    void SetUp() override {
        WriteGlyphs();
        WriteFile("Table1.c", "Record\n"
                              ">454 d 4<1.8.0><Nota, \"uno\">\n"
                              ">462 i 1<C.1.0><Temp \xB0"
                              "C>\n"
                              ">470 l 2<2.8.0><tre>\n");
        form->Button40.Click();
        form->Button45.Click(); // RTU
        serial->SetComNumber(3);
        serial->SetOpen(true);
        commissioning = std::make_unique<tool::TCommissioning>(*form, [this] { return wallTime; });
    }
    void TearDown() override { commissioning.reset(); }
    // Double-clicks the grid's row; the request the tool sent.
    std::string RequestRow(int row) {
        form->StringGrid3.SetRow(row);
        form->StringGrid3.DblClick();
        Advance(100);
        return serial->TakeWritten();
    }
    void Reply(const std::string& bytes) {
        serial->Deliver(bytes);
        Pump();
        Advance(300);
    }
    // Row 1's good reply: the double 3.141593.
    static std::string GoodReplyOfRow1() {
        return RtuReply(0x0A, {0x2D, 0x18, 0x54, 0x44, 0x21, 0xFB, 0x40, 0x09});
    }
    std::string Stamp() const { return tool::FileNameStamp(wallTime); }

    tool::WallTime wallTime = std::chrono::system_clock::from_time_t(1781000000);
    std::unique_ptr<tool::TCommissioning> commissioning;
};

} // namespace fakes
