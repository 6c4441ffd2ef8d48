#include "tool/ManualRead.h"

#include "tool/DecimalText.h"
#include "tool/Polling.h"
#include "tool/Unit1.h"

namespace tool {

uint16_t ManualQuantity(char type) {
    switch (type) {
    case 'c':
        return 6;
    case 'd':
        return 4;
    case 'i':
        return 1;
    case 'l':
        return 2;
    case 'h':
        return 1;
    case 'M':
        return 4;
    default:
        return 0;
    }
}

TModbusFrame BuildManualRequest(TMainForm& f) {
    auto slave = static_cast<uint8_t>(DecimalToLong(f.Edit10.Text()));
    auto address = static_cast<uint16_t>(DecimalToLong(f.ComboBox2.Text()));
    auto offset = static_cast<uint8_t>(DecimalToLong(f.Edit11.Text()));
    auto start = static_cast<uint16_t>(address + offset - 1);
    const std::string& type = f.ComboBox4.Text();
    f.ValueType = static_cast<uint8_t>(type.empty() ? 0 : type[0]);
    return BuildReadRequest(f, slave, start, ManualQuantity(static_cast<char>(f.ValueType)));
}

TReading DescribeManualRead(const TMainForm& f) {
    TReading asked;
    asked.Target = TReadingTarget::ManualRead;
    asked.Address = static_cast<uint16_t>(DecimalToLong(f.ComboBox2.Text()));
    const std::string& type = f.ComboBox4.Text();
    asked.Type = type.empty() ? 0 : type[0];
    asked.Count = ManualQuantity(asked.Type);
    return asked;
}

void TMainForm::Button47Click() {
    GridPolling = 0;
    Timer6.SetInterval(SingleRequestIntervalMs);
    Timer6.SetEnabled(true);
}

} // namespace tool
