// CompleteResponse over arbitrary receive buffer contents. The first bytes choose the
// flags it reads (display, framing, value target, type letter and grid row); the rest
// is what arrived. The same bytes are judged as the reply to a request and split
// into replies as the completion does.
#include "FuzzForm.h"
#include "tool/ModbusFrame.h"
#include "tool/ReplyJudging.h"
#include "tool/Unit1.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    tool::TMainForm& f = FuzzForm();
    f.HexDisplay = data[0] & 1;
    f.ModbusTcp = data[0] >> 1 & 1;
    f.GridPolling = data[0] >> 2 & 1;
    f.PollRow = data[1] % 301; // one past the grid's last row too
    const char type[2] = {static_cast<char>(data[2]), 0};
    f.StringGrid3.SetCell(3, static_cast<int>(f.PollRow), type);
    f.ComboBox4.SetText(type);
    size_t n = std::min(size - 3, size_t{3001}); // the receive path stores 0 to 3000
    std::memcpy(f.RxBuffer, data + 3, n);
    f.RxCount = static_cast<int32_t>(n % 3001);
    f.Memo2.Clear();
    std::span<const uint8_t> received(data + 3, n);
    bool tcp = f.ModbusTcp == 1;
    uint32_t transaction = data[1];
    tool::TModbusFrame request = tool::BuildReadRequest(f.ModbusTcp, transaction, 10, 453, data[2]);
    tool::JudgeReply(received, {request.Bytes, request.Length}, tcp);
    for (size_t at = 0; at < received.size();)
        at += std::max<size_t>(
            1, std::min(tool::ReplyFrameLength(received.subspan(at), tcp), received.size() - at));
    f.CompleteResponse();
    for (uint8_t b : f.RxBuffer)
        if (b != 0) __builtin_trap();
    return 0;
}
