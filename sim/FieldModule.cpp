#include "FieldModule.h"

namespace sim {

std::string FieldModule::ReleaseText() {
    return "Release R-VEX SIM FW 1.9 B116\r\n";
}

std::optional<std::string> FieldModule::Silence(Entrance entrance) const {
    if (pins_.reset) return "module held in reset, no reply";
    if (pins_.rs485 && entrance == Entrance::Lan) return "module on its RS485 interface, no reply";
    if (!pins_.rs485 && entrance == Entrance::Serial)
        return "module on its LAN interface, no reply";
    return std::nullopt;
}

Outcome FieldModule::OnItem(const LineItem& item, Entrance entrance, Millis now) {
    if (item.kind == ItemKind::Junk) return {std::nullopt, false, item.note};
    if (auto why = Silence(entrance)) return {std::nullopt, false, *why};
    if (item.kind == ItemKind::Rtu) {
        if (pins_.config) return {std::nullopt, false, "configuration mode, Modbus ignored"};
        ModbusSlave::Outcome out = slave_.OnRtuFrame(item.bytes, now);
        return {out.reply, false, out.note};
    }
    if (!pins_.config) return {std::nullopt, true, "Modbus mode, text ignored"};
    switch (item.kind) {
    case ItemKind::ReadRelease:
        return {ToBytes(ReleaseText()), true, "release"};
    case ItemKind::ReadConfig:
        return {ToBytes(config_.ListText()), true, "configuration"};
    case ItemKind::ConfigWrite:
        return OnConfigWrite(item.bytes);
    default:
        return {std::nullopt, false, "not for the module"};
    }
}

Outcome FieldModule::OnConfigWrite(const Bytes& bytes) {
    std::string text = ToText(bytes);
    std::size_t begin = text.find('\n');
    std::size_t end = text.find("config_end>");
    if (begin == std::string::npos || begin > end) {
        return {ToBytes("CONFIG ERROR no line break after <config_begin\r\n"), true,
                "configuration write refused"};
    }
    ModuleConfig::Result result = config_.ApplyWrite(text.substr(begin + 1, end - begin - 1));
    if (!result.ok) {
        return {ToBytes("CONFIG ERROR " + result.message + "\r\n"), true,
                "configuration write refused: " + result.message};
    }
    if (onConfigChanged) onConfigChanged();
    return {ToBytes("CONFIG OK\r\n"), true, "configuration stored"};
}

Outcome FieldModule::OnTcpFrame(const Bytes& frame, Millis now) {
    if (auto why = Silence(Entrance::Lan)) return {std::nullopt, false, *why};
    if (pins_.config) return {std::nullopt, false, "configuration mode, Modbus ignored"};
    ModbusSlave::Outcome out = slave_.OnTcpFrame(frame, now);
    return {out.reply, false, out.note};
}

} // namespace sim
