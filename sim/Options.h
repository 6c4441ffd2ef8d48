// rvex-sim's command line.
#pragma once

#include "Bytes.h"
#include "Pins.h"

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace sim {

struct Options {
    int rtuTcpPort = 2101;    // RTU OVER TCP: bytes to and from the line unchanged
    int modbusTcpPort = 1502; // Modbus TCP (502 needs privileges)
    int rciPort = 8080;       // RCI over HTTP (80 needs privileges)
    int com = 3;              // COMn published for the pty
    std::string comDir;       // $RVEX_COM_DIR, else ~/.config/rvex-tool/com
    bool replaceLink = false;
    bool fixed = false; // --static
    Pins pins;          // at start and after every reboot of the LAN module
    Millis rebootMs = 3000;
    Millis rciGapMs = 50;     // between the reply head and the body
    Millis gapMs = 30;        // quiet time that ends an unfinished binary frame
    Millis textGapMs = 1000;  // the same for an unfinished text command
    Millis meterAckMs = 3000; // the meter waits this long for the acknowledgement
    std::string meterAddress = "0000";
    std::vector<std::pair<std::string, std::string>> settings; // --set Key:value
    std::string readyFile;
    bool printMap = false;
    bool help = false;
    bool version = false;
};

// Options from argv (argv[0] skipped); home and comDirEnv are $HOME and
// $RVEX_COM_DIR (empty when unset). A text is the error to show.
std::variant<Options, std::string> ParseOptions(const std::vector<std::string>& args,
                                                const std::string& home,
                                                const std::string& comDirEnv);

std::string Usage();

} // namespace sim
