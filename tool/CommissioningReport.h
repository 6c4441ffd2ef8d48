#pragma once
// The commissioning report: one self-contained HTML document (styles inline, no
// outside references) that a technician opens in a browser or prints. Every text in
// it that came from the module, the meter, a file or the operator is escaped
// (TextEncoding.h), so nothing it holds can become markup.
#include "tool/Readings.h"

#include <string>
#include <utility>
#include <vector>

namespace tool {

struct TReportRow {
    std::string Rif, Address, Type, Count, Obis, Note, Value;
    std::string Outcome; // OutcomeText of the last reading, "" when never read
    std::string ReadAt;  // local time of the last reading, "" when never read
    bool Good = false;   // read, with a good last outcome
};

struct TReportData {
    std::string Time;    // local date and time of the report
    std::string Version; // the tool's name and version
    std::string Folder;  // the working folder
    // Label and settings of each port, e.g. {"RS485", "COM3 (/dev/pts/4), 19200,N,8,1, open"}.
    std::vector<std::pair<std::string, std::string>> Ports;
    std::string Framing;                                                   // "RTU" or "Modbus TCP"
    std::string Release, Configuration, MeterIdentification, MeterReadout; // "" when not read
    std::vector<std::string> Pins; // the pin labels of the last status read; empty when none
    std::vector<TReportRow> Rows;
    TExchangeCounters Counters;
};

std::string BuildReportHtml(const TReportData& data);

} // namespace tool
