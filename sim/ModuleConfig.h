// The field module's stored configuration: the twelve keys of the configuration
// text protocol with their values, as the module keeps them across resets.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace sim {

class ModuleConfig {
  public:
    static constexpr std::size_t KeyCount = 12;
    // In the order the module lists them and the tool writes them.
    static const std::array<std::string_view, KeyCount>& Keys();

    // Defaults that match the site's Config1.c.
    ModuleConfig();

    struct Result {
        bool ok;
        std::string message; // what was wrong, for the reply and the log
    };

    // One "Key:value" setting, key with its colon; nothing changes on failure.
    Result Set(std::string_view key, std::string_view value);

    // The lines between "<config_begin" and "config_end>": each "Key:value",
    // CR LF or LF ended, empty lines allowed. Every line is checked first and
    // nothing is stored unless all are valid; keys left out keep their values.
    Result ApplyWrite(std::string_view lines);

    // "<config_begin" CR LF, "Key:value" CR LF for each key, "config_end>" CR LF.
    std::string ListText() const;

    const std::string& Value(std::string_view key) const;

    int ModbusAddress() const;  // "ModAdd:", 1 to 247
    int RegisterOffset() const; // "Mod485:", 0 or 1
    int BaudIndex() const;      // "Baudrate:", 0 to 8
    const std::string& Serial1() const { return Value("Serie_1:"); }

  private:
    static Result Check(std::string_view key, std::string_view value);
    std::size_t IndexOf(std::string_view key) const;

    std::array<std::string, KeyCount> values_;
};

} // namespace sim
