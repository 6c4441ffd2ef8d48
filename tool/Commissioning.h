#pragma once
// The commissioning record of one run of the main window, beside the handlers it
// observes: the session logs (recording on and off), the grid's CSV export, the
// aligned table, the scripted checks of the readings, the report, and the good
// readings that a trend follows. The window and the headless runner each hold one for
// as long as the form lives; they only call it, the logic is here.
// Window thread only.
#include "tool/CommissioningReport.h"
#include "tool/HexText.h"
#include "tool/Readings.h"
#include "tool/SessionFacts.h"
#include "tool/SessionRecorder.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tool {

class TMainForm;

// The readings log's header and the fields of one reading in it.
extern const std::vector<std::string> ReadingsLogHeader;
std::vector<std::string> ReadingsLogFields(const TReading& reading, const std::string& port,
                                           const std::string& framing);

// The number a value text holds ("12345.678", " -3 "), or nothing when the text is not
// exactly one decimal number.
std::optional<double> ValueNumber(const std::string& text);

class TCommissioning {
  public:
    explicit TCommissioning(TMainForm& form, WallClock clock = SystemWallTime);
    ~TCommissioning();
    TCommissioning(const TCommissioning&) = delete;
    TCommissioning& operator=(const TCommissioning&) = delete;

    // ---- Session recording ----
    // Starts the two logs in the working folder; raises winsys::Exception when they
    // cannot be written (nothing records then).
    void StartRecording();
    void StopRecording();
    bool Recording() const { return recorder_.Recording(); }
    std::string ReadingsLogPath() const { return recorder_.ReadingsPath(); }
    std::string TrafficLogPath() const { return recorder_.TrafficPath(); }
    // Called when recording starts or stops (also when a failed write stopped it).
    std::function<void(bool recording)> OnRecordingChanged;
    // Called once with the message when a failed write stopped recording. Unset, the
    // message goes to the application's error display.
    std::function<void(const std::string& message)> OnRecordingFailed;

    // ---- The grid ----
    // Writes GridCsv to path; raises winsys::Exception when it cannot (path untouched).
    void ExportGrid(const std::string& path) const;
    // The aligned table of the filled rows with their last outcomes.
    std::string Table() const;
    // The outcome column's text for a grid row: "" when the row was not read since
    // its register was loaded, else the last outcome's text.
    std::string RowOutcome(int row) const;

    // ---- Scripted checks: "" when the check passes, else what was found ----
    // Every named row (all filled rows when none are named) was read and its last
    // outcome is good.
    std::string ExpectGood(const std::vector<int>& rows) const;
    // The row's value is a number within min and max (both included).
    std::string ExpectRange(int row, double min, double max) const;

    // ---- Report ----
    TReportData ReportData() const;
    std::string ReportHtml() const { return BuildReportHtml(ReportData()); }
    void WriteReport(const std::string& path) const;

    // ---- Good readings of grid rows, for trends ----
    using GoodReadingObserver = std::function<void(int row, double value, WallTime at)>;
    int AddGoodReadingObserver(GoodReadingObserver observer);
    void RemoveGoodReadingObserver(int id);

    const SessionFacts& Facts() const { return facts_; }
    const TMainForm& Form() const { return form_; }

  private:
    void Completed(const TReading& reading);
    void Traffic(const TrafficEvent& event);
    // The last reading of a row, if it is for the register the row holds now.
    const TReading* LastReading(int row) const;
    std::string OpenPortNames() const;

    TMainForm& form_;
    WallClock clock_;
    SessionRecorder recorder_;
    SessionFacts facts_;
    std::map<int, TReading> lastByRow_;
    std::map<int, GoodReadingObserver> goodObservers_;
    int nextGoodObserver_ = 1;
    int trafficObserver_ = 0;
    size_t readingObserver_ = 0;
};

} // namespace tool
