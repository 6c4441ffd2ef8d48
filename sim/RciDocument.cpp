#include "RciDocument.h"

#include "Xml.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace sim {

namespace {

struct PinChange {
    int pin; // 1 to 3
    bool asserted;
};

struct Command {
    enum Kind { Set, Query, Reboot } kind;
    std::vector<PinChange> changes;
};

std::string Trimmed(std::string_view text) {
    std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string_view::npos) return {};
    std::size_t end = text.find_last_not_of(" \t\r\n");
    std::string out(text.substr(begin, end - begin + 1));
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool& PinRef(Pins& pins, int pin) {
    return pin == 1 ? pins.reset : pin == 2 ? pins.config : pins.rs485;
}

const char* StateWord(bool asserted) {
    return asserted ? "asserted" : "unasserted";
}

std::string ErrorReply(const std::string& message) {
    return "<rci_reply version=\"1.1\">\n  <error id=\"1\"><desc>" + XmlEscape(message) +
           "</desc></error>\n</rci_reply>\n";
}

// The gpio element of a set_state: pin1 to pin3 with asserted or unasserted.
std::optional<std::string> ReadChanges(const XmlElement& gpio, std::vector<PinChange>& out) {
    for (const XmlElement& pin : gpio.children) {
        if (pin.name.size() != 4 || !pin.name.starts_with("pin") || pin.name[3] < '1' ||
            pin.name[3] > '3') {
            return "unknown line <" + pin.name + ">";
        }
        std::string state = Trimmed(pin.text);
        if (state != "asserted" && state != "unasserted") {
            return "<" + pin.name + "> needs asserted or unasserted, not \"" + state + "\"";
        }
        out.push_back({pin.name[3] - '0', state == "asserted"});
    }
    if (out.empty()) return "set_state without lines";
    return std::nullopt;
}

std::variant<std::vector<Command>, std::string> ReadCommands(const XmlElement& root) {
    if (root.name != "rci_request") return "the root element must be <rci_request>";
    std::vector<Command> commands;
    for (const XmlElement& element : root.children) {
        if (element.name == "set_state") {
            Command command{Command::Set, {}};
            if (element.children.size() != 1 || element.children[0].name != "gpio") {
                return std::string("set_state needs one <gpio>");
            }
            if (auto why = ReadChanges(element.children[0], command.changes)) return *why;
            commands.push_back(std::move(command));
        } else if (element.name == "query_state") {
            for (const XmlElement& what : element.children) {
                if (what.name != "gpio") return "query_state of <" + what.name + "> not offered";
            }
            commands.push_back({Command::Query, {}});
        } else if (element.name == "reboot") {
            commands.push_back({Command::Reboot, {}});
        } else {
            return "unknown command <" + element.name + ">";
        }
    }
    if (commands.empty()) return std::string("no command");
    return commands;
}

} // namespace

RciOutcome RunRciDocument(std::string_view document, Pins& pins) {
    if (Trimmed(document).empty()) return {ErrorReply("empty request"), false, "empty request"};
    auto parsed = ParseXml(document);
    if (auto* error = std::get_if<XmlError>(&parsed)) {
        return {ErrorReply("not well-formed: " + error->message), false,
                "refused: " + error->message};
    }
    auto read = ReadCommands(std::get<XmlElement>(parsed));
    if (auto* why = std::get_if<std::string>(&read)) {
        return {ErrorReply(*why), false, "refused: " + *why};
    }
    RciOutcome out;
    out.reply = "<rci_reply version=\"1.1\">\n";
    for (const Command& command : std::get<std::vector<Command>>(read)) {
        switch (command.kind) {
        case Command::Set:
            out.reply += "  <set_state><gpio>";
            for (const PinChange& change : command.changes) {
                PinRef(pins, change.pin) = change.asserted;
                std::string tag = "pin" + std::to_string(change.pin);
                out.reply += "<" + tag + ">" + StateWord(change.asserted) + "</" + tag + ">";
                out.note += tag + " " + StateWord(change.asserted) + "; ";
            }
            out.reply += "</gpio></set_state>\n";
            break;
        case Command::Query:
            out.reply += "  <query_state><gpio>";
            for (int pin = 1; pin <= 3; ++pin) {
                std::string tag = "pin" + std::to_string(pin);
                out.reply += "<" + tag + ">" + StateWord(PinRef(pins, pin)) + "</" + tag + ">";
            }
            out.reply += "</gpio></query_state>\n";
            out.note += "query " + PinLetters(pins) + "; ";
            break;
        case Command::Reboot:
            out.reply += "  <reboot/>\n";
            out.reboot = true;
            out.note += "reboot; ";
            break;
        }
    }
    out.reply += "</rci_reply>\n";
    if (out.note.ends_with("; ")) out.note.resize(out.note.size() - 2);
    return out;
}

} // namespace sim
