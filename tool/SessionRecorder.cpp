#include "tool/SessionRecorder.h"

#include "tool/CsvText.h"
#include "tool/HexText.h"
#include "tool/TextEncoding.h"
#include "winsys/Exception.h"

namespace tool {

std::string TrafficLogLine(const TrafficEvent& event) {
    const std::string hex =
        SpacedHex({reinterpret_cast<const uint8_t*>(event.Bytes.data()), event.Bytes.size()});
    std::string text;
    for (unsigned char b : event.Bytes)
        text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
    return IsoLocalTime(event.Time) + '\t' + ToUtf8(event.Port) + '\t' +
           (event.Direction == TrafficDirection::Sent ? "tx" : "rx") + '\t' + hex + '\t' + text +
           "\r\n";
}

void SessionRecorder::Start(const std::vector<std::string>& readingsHeader,
                            const std::string& folder) {
    if (Recording()) return;
    const std::string stamp = FileNameStamp(clock_());
    const std::string prefix = folder.empty() || folder == "." ? "" : folder + "/";
    auto readings = std::make_unique<LineFile>(prefix + "letture-" + stamp + ".csv");
    auto traffic = std::make_unique<LineFile>(prefix + "traffico-" + stamp + ".log");
    if (readings->WasEmpty() && !readings->Write(CsvLine(readingsHeader)))
        throw winsys::Exception(readings->Error());
    readings_ = std::move(readings);
    traffic_ = std::move(traffic);
    if (OnRecordingChanged) OnRecordingChanged(true);
}

void SessionRecorder::Stop() {
    if (!Recording()) return;
    readings_.reset();
    traffic_.reset();
    if (OnRecordingChanged) OnRecordingChanged(false);
}

void SessionRecorder::Write(LineFile& file, const std::string& line) {
    if (file.Write(line)) return;
    std::string message = "session recording stopped: " + file.Error();
    Stop();
    if (OnFailure) OnFailure(message);
}

void SessionRecorder::WriteTraffic(const TrafficEvent& event) {
    if (traffic_) Write(*traffic_, TrafficLogLine(event));
}

void SessionRecorder::WriteReading(const std::vector<std::string>& fields) {
    if (!readings_) return;
    std::vector<std::string> utf8;
    utf8.reserve(fields.size());
    for (const std::string& f : fields)
        utf8.push_back(ToUtf8(f));
    Write(*readings_, CsvLine(utf8));
}

} // namespace tool
