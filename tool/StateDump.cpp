#include "tool/StateDump.h"

namespace tool {

namespace {

std::string Bytes(const void* area, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(area);
    size_t used = size;
    while (used > 0 && bytes[used - 1] == 0)
        --used;
    std::string out = "[";
    for (size_t i = 0; i < used; ++i) {
        if (i) out += ",";
        out += std::to_string(bytes[i]);
    }
    return out + "]";
}

} // namespace

std::string DumpState(const TMainForm& f) {
    std::string out = "{";
    auto number = [&](const char* name, long long value) {
        out += std::string(out.size() > 1 ? "," : "") + "\"" + name + "\":" + std::to_string(value);
    };
    auto area = [&](const char* name, const void* data, size_t size) {
        out += std::string(out.size() > 1 ? "," : "") + "\"" + name + "\":" + Bytes(data, size);
    };
    area("RxBuffer", f.RxBuffer, sizeof f.RxBuffer);
    number("RxCount", f.RxCount);
    area("TxText", f.TxText, sizeof f.TxText);
    number("HexDisplay", f.HexDisplay);
    number("GridPolling", f.GridPolling);
    number("PollRow", f.PollRow);
    number("ValueType", f.ValueType);
    number("ModbusTcp", f.ModbusTcp);
    area("TableFileName", f.TableFileName, sizeof f.TableFileName);
    number("StartModbusTcp", f.StartModbusTcp);
    area("ComPortList", f.ComPortList, sizeof f.ComPortList);
    number("TransactionCounter", f.TransactionCounter);
    number("RequestQuantity", f.RequestQuantity);
    number("RowCursor", f.RowCursor);
    number("AutoAdvance", f.AutoAdvance);
    number("SingleShot", f.SingleShot);
    area("RciFileName", f.RciFileName, sizeof f.RciFileName);
    area("RciReply", f.RciReply, sizeof f.RciReply);
    out += ",\"Counters\":" + CountersJson(f.Counters);
    return out + "}";
}

} // namespace tool
