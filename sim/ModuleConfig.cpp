#include "ModuleConfig.h"

#include <charconv>
#include <stdexcept>
#include <vector>

namespace sim {

namespace {

bool Digits(std::string_view text, std::size_t maxLength) {
    if (text.empty() || text.size() > maxLength) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool NumberIn(std::string_view text, int low, int high) {
    if (!Digits(text, 3)) return false;
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value >= low && value <= high;
}

int ToInt(const std::string& text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

const std::array<std::string_view, ModuleConfig::KeyCount>& ModuleConfig::Keys() {
    static const std::array<std::string_view, KeyCount> keys = {
        "ModAdd:",  "Mod485:",   "Cont485:", "ContTime:", "Spare:", "Serie_1:",
        "Serie_2:", "Baudrate:", "DDBBGG:",  "Var1:",     "Var2:",  "Var3:"};
    return keys;
}

ModuleConfig::ModuleConfig()
    : values_{"10", "0", "1", "2", "0", "12345678", "87654321", "5", "0", "SIM1", "SIM2", "SIM3"} {}

std::size_t ModuleConfig::IndexOf(std::string_view key) const {
    for (std::size_t i = 0; i < KeyCount; ++i) {
        if (Keys()[i] == key) return i;
    }
    return KeyCount;
}

const std::string& ModuleConfig::Value(std::string_view key) const {
    std::size_t i = IndexOf(key);
    if (i == KeyCount) throw std::logic_error("unknown configuration key");
    return values_[i];
}

ModuleConfig::Result ModuleConfig::Check(std::string_view key, std::string_view value) {
    auto bad = [&](const char* rule) {
        return Result{false, std::string(key) + std::string(value) + ": " + rule};
    };
    if (key == "ModAdd:") return NumberIn(value, 1, 247) ? Result{true, {}} : bad("1 to 247");
    if (key == "Mod485:") return NumberIn(value, 0, 1) ? Result{true, {}} : bad("0 or 1");
    if (key == "Cont485:") return NumberIn(value, 0, 1) ? Result{true, {}} : bad("0 or 1");
    if (key == "ContTime:") return NumberIn(value, 1, 9) ? Result{true, {}} : bad("1 to 9");
    if (key == "Spare:") return NumberIn(value, 0, 2) ? Result{true, {}} : bad("0 to 2");
    if (key == "Serie_1:" || key == "Serie_2:") {
        return Digits(value, 8) ? Result{true, {}} : bad("1 to 8 digits");
    }
    if (key == "Baudrate:") return NumberIn(value, 0, 8) ? Result{true, {}} : bad("0 to 8");
    if (key == "DDBBGG:") return Digits(value, 8) ? Result{true, {}} : bad("1 to 8 digits");
    if (key == "Var1:" || key == "Var2:" || key == "Var3:") {
        if (value.size() > 19) return bad("at most 19 characters");
        for (char c : value) {
            auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u > 0x7E) return bad("printable characters only");
        }
        return Result{true, {}};
    }
    return Result{false, "unknown key " + std::string(key)};
}

ModuleConfig::Result ModuleConfig::Set(std::string_view key, std::string_view value) {
    Result result = Check(key, value);
    if (result.ok) values_[IndexOf(key)] = std::string(value);
    return result;
}

ModuleConfig::Result ModuleConfig::ApplyWrite(std::string_view lines) {
    std::vector<std::pair<std::size_t, std::string>> changes;
    std::size_t pos = 0;
    while (pos < lines.size()) {
        std::size_t end = lines.find('\n', pos);
        if (end == std::string_view::npos) end = lines.size();
        std::string_view line = lines.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return Result{false, "line without key: " + std::string(line.substr(0, 40))};
        }
        std::string_view key = line.substr(0, colon + 1);
        std::string_view value = line.substr(colon + 1);
        Result check = Check(key, value);
        if (!check.ok) return check;
        changes.emplace_back(IndexOf(key), std::string(value));
    }
    if (changes.empty()) return Result{false, "no settings"};
    for (auto& [index, value] : changes)
        values_[index] = std::move(value);
    return Result{true, {}};
}

std::string ModuleConfig::ListText() const {
    std::string out = "<config_begin\r\n";
    for (std::size_t i = 0; i < KeyCount; ++i) {
        out += Keys()[i];
        out += values_[i];
        out += "\r\n";
    }
    out += "config_end>\r\n";
    return out;
}

int ModuleConfig::ModbusAddress() const {
    return ToInt(values_[0]);
}
int ModuleConfig::RegisterOffset() const {
    return ToInt(values_[1]);
}
int ModuleConfig::BaudIndex() const {
    return ToInt(values_[7]);
}

} // namespace sim
