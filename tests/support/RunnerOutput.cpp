#include "RunnerOutput.h"

#include <sstream>

namespace testsupport {

namespace {

// The dump writes each byte as the code point of the same number; the parser gives
// UTF-8 back.
std::string Latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            out += static_cast<char>(((c & 0x1F) << 6) | (utf8[++i] & 0x3F));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::vector<std::string> Strings(const Json& dump, const std::string& member) {
    std::vector<std::string> out;
    auto it = dump.find(member);
    if (it == dump.end() || !it->is_array()) return out;
    for (const Json& item : *it)
        out.push_back(item.is_string() ? Latin1(item.get<std::string>()) : item.dump());
    return out;
}

} // namespace

RunnerOutput::RunnerOutput(const std::string& text) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        Json parsed = Json::parse(line, nullptr, false);
        if (!parsed.is_discarded() && parsed.is_object() && parsed.contains("name") &&
            parsed.contains("kind"))
            dumps_.push_back(std::move(parsed));
        else
            other_.push_back(line);
    }
}

std::vector<Json> RunnerOutput::Dumps(const std::string& name) const {
    std::vector<Json> out;
    for (const Json& d : dumps_)
        if (d["name"] == name) out.push_back(d);
    return out;
}

Json RunnerOutput::Dump(const std::string& name) const {
    std::vector<Json> found = Dumps(name);
    return found.size() == 1 ? found[0] : Json::object();
}

std::vector<std::string> RunnerOutput::Errors() const {
    std::vector<std::string> out;
    for (const std::string& line : other_)
        if (line.rfind("error: ", 0) == 0) out.push_back(line.substr(7));
    return out;
}

std::string Field(const Json& dump, const std::string& member) {
    auto it = dump.find(member);
    if (it == dump.end()) return "<no " + member + ">";
    return it->is_string() ? Latin1(it->get<std::string>()) : it->dump();
}

std::string Cell(const Json& grid, size_t column, size_t row) {
    const std::string missing =
        "<no cell " + std::to_string(column) + "," + std::to_string(row) + ">";
    auto cells = grid.find("cells");
    if (cells == grid.end() || !cells->is_array() || row >= cells->size()) return missing;
    const Json& cols = (*cells)[row];
    if (!cols.is_array() || column >= cols.size() || !cols[column].is_string()) return missing;
    return Latin1(cols[column].get<std::string>());
}

std::vector<std::string> Lines(const Json& memo) {
    return Strings(memo, "lines");
}

std::vector<std::string> Items(const Json& combo) {
    return Strings(combo, "items");
}

} // namespace testsupport
