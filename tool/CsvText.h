#pragma once
// Comma-separated lines as RFC 4180 writes them: a field that holds a comma, a double
// quote, CR or LF is enclosed in double quotes with its quotes doubled; lines end in
// CR LF. Fields are written as given (convert them to UTF-8 first).
#include <string>
#include <string_view>
#include <vector>

namespace tool {

std::string CsvField(std::string_view text);
std::string CsvLine(const std::vector<std::string>& fields);

} // namespace tool
