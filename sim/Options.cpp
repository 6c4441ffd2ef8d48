#include "Options.h"

#include "ModuleConfig.h"

#include <charconv>

namespace sim {

namespace {

bool ToNumber(const std::string& text, long long low, long long high, long long& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty() && out >= low &&
           out <= high;
}

} // namespace

std::string Usage() {
    return R"(usage: rvex-sim [options]
Simulated R-VEX field module, meter and LAN module, all on 127.0.0.1.

  --rtu-tcp-port N     RTU OVER TCP server (default 2101; 0 picks a free port)
  --modbus-tcp-port N  Modbus TCP server (default 1502; 502 needs privileges)
  --rci-port N         RCI HTTP server (default 8080; 80 needs privileges)
  --com N              publish the pty as COMn, 1 to 49 (default 3)
  --com-dir DIR        folder of COM links (default $RVEX_COM_DIR,
                       else ~/.config/rvex-tool/com)
  --replace-link       replace an existing COMn link even if its target exists
  --static             values stay fixed (no change over time)
  --pins XYZ           pins 1 to 3 at start and after a reboot, a = asserted,
                       u = unasserted (default uua: running, Modbus, RS485)
  --set KEY:VALUE      initial module setting, e.g. --set ModAdd:11 (repeatable)
  --reboot-ms N        LAN module reboot time (default 3000)
  --rci-gap-ms N       pause between an RCI reply's head and body (default 50)
  --gap-ms N           quiet time that ends an unfinished frame (default 30)
  --text-gap-ms N      the same for an unfinished text command (default 1000)
  --meter-ack-ms N     meter's wait for the acknowledgement (default 3000)
  --meter-address A    meter device address besides none (default 0000)
  --ready-file PATH    write the endpoints to PATH once all are listening
  --print-map          print the register map and exit
  --version            print the version
  --help               this text
)";
}

std::variant<Options, std::string> ParseOptions(const std::vector<std::string>& args,
                                                const std::string& home,
                                                const std::string& comDirEnv) {
    Options o;
    o.comDir = !comDirEnv.empty() ? comDirEnv
               : !home.empty()    ? home + "/.config/rvex-tool/com"
                                  : std::string(".config/rvex-tool/com");
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) -> bool {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        auto number = [&](long long low, long long high, auto& out) -> std::string {
            std::string text;
            long long n = 0;
            if (!value(text)) return arg + " needs a value";
            if (!ToNumber(text, low, high, n)) {
                return arg + " needs a number from " + std::to_string(low) + " to " +
                       std::to_string(high) + ", not \"" + text + "\"";
            }
            out = static_cast<std::remove_reference_t<decltype(out)>>(n);
            return {};
        };
        std::string error;
        if (arg == "--rtu-tcp-port") {
            error = number(0, 65535, o.rtuTcpPort);
        } else if (arg == "--modbus-tcp-port") {
            error = number(0, 65535, o.modbusTcpPort);
        } else if (arg == "--rci-port") {
            error = number(0, 65535, o.rciPort);
        } else if (arg == "--com") {
            error = number(1, 49, o.com);
        } else if (arg == "--com-dir") {
            if (!value(o.comDir) || o.comDir.empty()) error = "--com-dir needs a folder";
        } else if (arg == "--replace-link") {
            o.replaceLink = true;
        } else if (arg == "--static") {
            o.fixed = true;
        } else if (arg == "--pins") {
            std::string text;
            auto pins = value(text) ? ParsePins(text) : std::nullopt;
            if (!pins)
                error = "--pins needs three letters a or u, as uua";
            else
                o.pins = *pins;
        } else if (arg == "--set") {
            std::string text;
            std::size_t colon = value(text) ? text.find(':') : std::string::npos;
            if (colon == std::string::npos) {
                error = "--set needs KEY:VALUE, as ModAdd:11";
            } else {
                ModuleConfig probe;
                auto result = probe.Set(text.substr(0, colon + 1), text.substr(colon + 1));
                if (!result.ok)
                    error = "--set " + result.message;
                else
                    o.settings.emplace_back(text.substr(0, colon + 1), text.substr(colon + 1));
            }
        } else if (arg == "--reboot-ms") {
            error = number(0, 600000, o.rebootMs);
        } else if (arg == "--rci-gap-ms") {
            error = number(0, 10000, o.rciGapMs);
        } else if (arg == "--gap-ms") {
            error = number(1, 10000, o.gapMs);
        } else if (arg == "--text-gap-ms") {
            error = number(1, 60000, o.textGapMs);
        } else if (arg == "--meter-ack-ms") {
            error = number(0, 600000, o.meterAckMs);
        } else if (arg == "--meter-address") {
            if (!value(o.meterAddress) || o.meterAddress.size() > 32) {
                error = "--meter-address needs up to 32 characters";
            }
        } else if (arg == "--ready-file") {
            if (!value(o.readyFile) || o.readyFile.empty()) error = "--ready-file needs a path";
        } else if (arg == "--print-map") {
            o.printMap = true;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else {
            error = "unknown option " + arg;
        }
        if (!error.empty()) return error;
    }
    return o;
}

} // namespace sim
