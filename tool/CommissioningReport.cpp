#include "tool/CommissioningReport.h"

#include "tool/TextEncoding.h"

namespace tool {

namespace {

const char* const Style =
    "body{font-family:sans-serif;margin:2em;color:#222}"
    "h1{font-size:1.5em}h2{font-size:1.15em;margin-top:1.6em}"
    "table{border-collapse:collapse}"
    "th,td{border:1px solid #999;padding:2px 8px;text-align:left;vertical-align:top}"
    "th{background:#e4ecf4}tr.bad td{background:#fbe3e3}"
    "pre{background:#f4f4f4;padding:6px;white-space:pre-wrap}"
    ".none{color:#777;font-style:italic}";

std::string Cell(const std::string& tag, const std::string& text) {
    return "<" + tag + ">" + HtmlEscape(text) + "</" + tag + ">";
}

std::string Row(const std::vector<std::string>& cells, const std::string& tag = "td",
                const std::string& cls = "") {
    std::string html = cls.empty() ? "<tr>" : "<tr class=\"" + cls + "\">";
    for (const std::string& c : cells)
        html += Cell(tag, c);
    return html + "</tr>\n";
}

std::string TextSection(const std::string& title, const std::string& text) {
    std::string html = Cell("h2", title) + "\n";
    if (text.empty()) return html + "<p class=\"none\">not read in this session</p>\n";
    return html + "<pre>" + HtmlEscape(text) + "</pre>\n";
}

} // namespace

std::string BuildReportHtml(const TReportData& d) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"it\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>Rapporto di collaudo " +
                       HtmlEscape(d.Time) + "</title>\n<style>" + Style +
                       "</style>\n</head>\n<body>\n";
    html += "<h1>Rapporto di collaudo</h1>\n<table id=\"session\">\n";
    html += Row({"Date and time", d.Time});
    html += Row({"Tool", d.Version});
    html += Row({"Working folder", d.Folder});
    html += Row({"Framing", d.Framing});
    html += "</table>\n";

    html += "<h2>Ports</h2>\n<table id=\"ports\">\n" + Row({"Port", "Settings"}, "th");
    for (const auto& [label, settings] : d.Ports)
        html += Row({label, settings});
    html += "</table>\n";

    html += TextSection("Module release", d.Release);
    html += TextSection("Module configuration", d.Configuration);
    html += TextSection("Meter identification", d.MeterIdentification);
    html += TextSection("Meter readout", d.MeterReadout);

    html += "<h2>Pin states</h2>\n";
    if (d.Pins.empty()) {
        html += "<p class=\"none\">not read in this session</p>\n";
    } else {
        html += "<ul id=\"pins\">\n";
        for (const std::string& pin : d.Pins)
            html += Cell("li", pin) + "\n";
        html += "</ul>\n";
    }

    html += "<h2>Readings</h2>\n<table id=\"readings\">\n" +
            Row({"Rif", "Address", "Type", "Count", "OBIS", "Note", "Value", "Outcome", "Read at"},
                "th");
    for (const TReportRow& r : d.Rows)
        html +=
            Row({r.Rif, r.Address, r.Type, r.Count, r.Obis, r.Note, r.Value, r.Outcome, r.ReadAt},
                "td", r.Good ? "" : "bad");
    html += "</table>\n";

    const TExchangeCounters& c = d.Counters;
    html += "<h2>Counters</h2>\n<table id=\"counters\">\n";
    html += Row({"Requests sent", std::to_string(c.Requests)});
    html += Row({"Good replies", std::to_string(c.Good)});
    html += Row({"Exceptions", std::to_string(c.Exceptions)});
    html += Row({"Bad replies", std::to_string(c.BadReplies)});
    html += Row({"Missing replies", std::to_string(c.NoReplies)});
    html += "</table>\n";

    html += "<h2>Rows not good</h2>\n";
    std::string bad;
    for (const TReportRow& r : d.Rows)
        if (!r.Good)
            bad += Cell("li", "Row " + r.Rif + " (" + r.Address + " " + r.Obis +
                                  "): " + (r.Outcome.empty() ? "not read" : r.Outcome)) +
                   "\n";
    html +=
        bad.empty() ? "<p id=\"not-good\">none</p>\n" : "<ul id=\"not-good\">\n" + bad + "</ul>\n";
    return html + "</body>\n</html>\n";
}

} // namespace tool
