#pragma once
// The session's two logs, named by the time recording started:
//   letture-YYYYMMDD-HHMMSS.csv   one CSV line per completed reading, header first
//   traffico-YYYYMMDD-HHMMSS.log  one line per send and receive event on either port
// Every line is written through at once. The first line that cannot be written stops
// recording (both files are closed) and is reported once through OnFailure.
// Window thread only.
#include "tool/FileOutput.h"
#include "tool/LocalTime.h"
#include "tool/TrafficTap.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tool {

// One line of the traffic log, CR LF included:
// time, port, "tx" or "rx", the bytes in hexadecimal, the bytes as printable text
// (anything outside 0x20-0x7E as "."), separated by tabs.
std::string TrafficLogLine(const TrafficEvent& event);

class SessionRecorder {
  public:
    explicit SessionRecorder(WallClock clock = SystemWallTime) : clock_(std::move(clock)) {}

    // Opens both logs in folder and writes the readings log's header (into a new file
    // only). Raises winsys::Exception when either file cannot be written; nothing
    // records then. Starting while recording changes nothing.
    void Start(const std::vector<std::string>& readingsHeader, const std::string& folder = ".");
    void Stop();
    bool Recording() const { return readings_ != nullptr; }

    void WriteTraffic(const TrafficEvent& event);
    // One reading as CSV fields (converted to UTF-8 here).
    void WriteReading(const std::vector<std::string>& fields);

    std::string ReadingsPath() const { return readings_ ? readings_->Path() : ""; }
    std::string TrafficPath() const { return traffic_ ? traffic_->Path() : ""; }

    // Called once when a write failed and recording stopped, with the reason.
    std::function<void(const std::string& message)> OnFailure;
    // Called when recording starts or stops, for any reason.
    std::function<void(bool recording)> OnRecordingChanged;

  private:
    void Write(LineFile& file, const std::string& line);

    WallClock clock_;
    std::unique_ptr<LineFile> readings_;
    std::unique_ptr<LineFile> traffic_;
};

} // namespace tool
