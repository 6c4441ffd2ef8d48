#include "tool/Commissioning.h"

#include "tool/CsvText.h"
#include "tool/FileOutput.h"
#include "tool/GridText.h"
#include "tool/Unit1.h"
#include "winsys/Exception.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace tool {

const std::vector<std::string> ReadingsLogHeader = {
    "time", "port", "framing", "row",     "address", "type", "count",
    "obis", "note", "value",   "outcome", "request", "reply"};

std::vector<std::string> ReadingsLogFields(const TReading& r, const std::string& port,
                                           const std::string& framing) {
    const bool row = r.Target == TReadingTarget::GridRow;
    return {IsoLocalTime(r.CompletedAt),
            port,
            framing,
            row ? std::to_string(r.Row) : "",
            std::to_string(r.Address),
            r.Type ? std::string(1, r.Type) : "",
            std::to_string(r.Count),
            r.Obis,
            r.Note,
            r.ValueText,
            OutcomeText(r.Outcome),
            SpacedHex(r.Request),
            SpacedHex(r.Reply)};
}

std::optional<double> ValueNumber(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    std::string number = text.substr(first, text.find_last_not_of(' ') - first + 1);
    // Only plain decimal numbers: strtod would also take "inf", "nan" and hex.
    if (number.find_first_not_of("+-.0123456789eE") != std::string::npos) return std::nullopt;
    char* end = nullptr;
    double value = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

namespace {

std::string Framing(const TMainForm& f) {
    return f.ModbusTcp == 1 ? "Modbus TCP" : "RTU";
}

std::string LineSetting(const port::IComPort& p) {
    static const char parity[] = {'N', 'O', 'E', 'M', 'S'};
    int index = static_cast<int>(p.GetParity());
    return std::to_string(p.GetBaud()) + "," + (index >= 0 && index < 5 ? parity[index] : '?') +
           "," + std::to_string(p.GetDataBits()) + "," + std::to_string(p.GetStopBits());
}

std::string FolderName() {
    std::error_code ec;
    auto path = std::filesystem::current_path(ec);
    return ec ? "." : path.string();
}

} // namespace

TCommissioning::TCommissioning(TMainForm& form, WallClock clock)
    : form_(form), clock_(std::move(clock)), recorder_(clock_) {
    readingObserver_ = form_.ReadingObservers.size();
    form_.ReadingObservers.push_back([this](const TReading& reading) { Completed(reading); });
    trafficObserver_ =
        form_.Traffic.AddObserver([this](const TrafficEvent& event) { Traffic(event); });
    recorder_.OnRecordingChanged = [this](bool on) {
        if (OnRecordingChanged) OnRecordingChanged(on);
    };
    recorder_.OnFailure = [this](const std::string& message) {
        if (OnRecordingFailed) {
            OnRecordingFailed(message);
            return;
        }
        // Shown by the error display once the current handler has ended, so the
        // exchange that was being logged is not cut short by it.
        form_.Loop().PostTask([message] { throw winsys::Exception(message); });
    };
}

TCommissioning::~TCommissioning() {
    // The form keeps its list of observers; ours is left doing nothing.
    form_.ReadingObservers[readingObserver_] = [](const TReading&) {};
    form_.Traffic.RemoveObserver(trafficObserver_);
}

void TCommissioning::StartRecording() {
    recorder_.Start(ReadingsLogHeader);
}

void TCommissioning::StopRecording() {
    recorder_.Stop();
}

void TCommissioning::Traffic(const TrafficEvent& event) {
    facts_.Observe(event);
    recorder_.WriteTraffic(event);
}

std::string TCommissioning::OpenPortNames() const {
    std::string names;
    for (const port::IComPort* p : {static_cast<const port::IComPort*>(form_.ComPort1),
                                    static_cast<const port::IComPort*>(form_.WinsockPort1)})
        if (p && p->GetOpen()) names += (names.empty() ? "" : " + ") + TappedPortName(p);
    return names;
}

void TCommissioning::Completed(const TReading& reading) {
    recorder_.WriteReading(ReadingsLogFields(reading, OpenPortNames(), Framing(form_)));
    if (reading.Target != TReadingTarget::GridRow) return;
    lastByRow_[reading.Row] = reading;
    if (!reading.Outcome.IsGood()) return;
    if (std::optional<double> value = ValueNumber(reading.ValueText)) {
        auto observers = goodObservers_; // an observer may remove itself
        for (auto& [id, observer] : observers)
            observer(reading.Row, *value, reading.CompletedAt);
    }
}

const TReading* TCommissioning::LastReading(int row) const {
    auto it = lastByRow_.find(row);
    if (it == lastByRow_.end()) return nullptr;
    // A table loaded since then puts another register in the row.
    const winsys::TStringGrid& grid = form_.StringGrid3;
    if (TrimmedCell(grid, 1, row) != std::to_string(it->second.Address)) return nullptr;
    return &it->second;
}

std::string TCommissioning::RowOutcome(int row) const {
    const TReading* last = LastReading(row);
    return last ? OutcomeText(last->Outcome) : "";
}

void TCommissioning::ExportGrid(const std::string& path) const {
    WriteWholeFile(path, GridCsv(form_.StringGrid3));
}

std::string TCommissioning::Table() const {
    return GridTable(form_.StringGrid3, [this](int row) {
        std::string outcome = RowOutcome(row);
        return outcome.empty() ? "-" : outcome;
    });
}

std::string TCommissioning::ExpectGood(const std::vector<int>& named) const {
    std::vector<int> rows = named.empty() ? FilledRows(form_.StringGrid3) : named;
    std::string found;
    for (int row : rows) {
        const winsys::TStringGrid& grid = form_.StringGrid3;
        std::string what;
        if (TrimmedCell(grid, 1, row).empty())
            what = "no register in this row";
        else if (const TReading* last = LastReading(row); !last)
            what = "not read";
        else if (!last->Outcome.IsGood())
            what = OutcomeText(last->Outcome);
        if (what.empty()) continue;
        found += (found.empty() ? "" : "; ") + std::string("row ") + std::to_string(row);
        if (!TrimmedCell(grid, 1, row).empty()) found += " (" + TrimmedCell(grid, 1, row) + ")";
        found += ": " + what;
    }
    if (rows.empty()) found = "no filled rows";
    return found;
}

std::string TCommissioning::ExpectRange(int row, double min, double max) const {
    const winsys::TStringGrid& grid = form_.StringGrid3;
    std::string where = "row " + std::to_string(row);
    if (TrimmedCell(grid, 1, row).empty()) return where + ": no register in this row";
    where += " (" + TrimmedCell(grid, 1, row) + ")";
    std::string value = TrimmedCell(grid, 2, row);
    std::optional<double> number = ValueNumber(value);
    if (!number) return where + ": value \"" + value + "\" is not a number";
    if (*number < min || *number > max) return where + ": value " + value + " is outside the range";
    return {};
}

TReportData TCommissioning::ReportData() const {
    TMainForm& f = form_;
    TReportData d;
    d.Time = IsoLocalTime(clock_());
    d.Version = f.Caption();
    d.Folder = FolderName();
    d.Framing = Framing(f);
    if (f.ComPort1) {
        std::string name = TappedPortName(f.ComPort1);
        if (name.empty() || !f.ComPort1->GetOpen())
            name = SerialPortName(f.ComPort1->GetComNumber());
        d.Ports.push_back({"RS485", name + ", " + LineSetting(*f.ComPort1) + ", line setting \"" +
                                        f.ComboBox6.Text() + "\", " +
                                        (f.ComPort1->GetOpen() ? "open" : "closed")});
    }
    if (f.WinsockPort1) {
        const bool open = f.WinsockPort1->GetOpen();
        std::string where =
            open ? TappedPortName(f.WinsockPort1) : f.Edit4.Text() + ":" + f.Edit9.Text();
        d.Ports.push_back(
            {"IP socket",
             where + ", " + (f.WinsockPort1->GetWsMode() == port::wsServer ? "server" : "client") +
                 ", " + (open ? "open" : "closed") + ", " + f.Label24.Caption()});
    }
    d.Release = facts_.Release;
    d.Configuration = facts_.Configuration;
    d.MeterIdentification = facts_.MeterIdentification;
    d.MeterReadout = facts_.MeterReadout;
    for (const winsys::TLabel* pin : {&f.Label31, &f.Label32, &f.Label33})
        if (pin->Caption() != pin->Name()) d.Pins.push_back(pin->Caption());
    const winsys::TStringGrid& grid = f.StringGrid3;
    for (int row : FilledRows(grid)) {
        TReportRow r;
        r.Rif = TrimmedCell(grid, 0, row);
        r.Address = TrimmedCell(grid, 1, row);
        r.Type = TrimmedCell(grid, 3, row);
        r.Count = TrimmedCell(grid, 4, row);
        r.Obis = TrimmedCell(grid, 5, row);
        r.Note = TrimmedCell(grid, 6, row);
        r.Value = TrimmedCell(grid, 2, row);
        if (const TReading* last = LastReading(row)) {
            r.Outcome = OutcomeText(last->Outcome);
            r.ReadAt = IsoLocalTime(last->CompletedAt);
            r.Good = last->Outcome.IsGood();
        }
        d.Rows.push_back(std::move(r));
    }
    d.Counters = f.Counters;
    return d;
}

void TCommissioning::WriteReport(const std::string& path) const {
    WriteWholeFile(path, ReportHtml());
}

int TCommissioning::AddGoodReadingObserver(GoodReadingObserver observer) {
    goodObservers_[nextGoodObserver_] = std::move(observer);
    return nextGoodObserver_++;
}

void TCommissioning::RemoveGoodReadingObserver(int id) {
    goodObservers_.erase(id);
}

} // namespace tool
