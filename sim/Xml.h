// A small XML reader for RCI documents: elements, attributes, text, comments,
// an XML declaration and the five predefined entities. No DTDs, no CDATA.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace sim {

struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<XmlElement> children;
    std::string text; // all character data directly inside, entities decoded
};

struct XmlError {
    std::string message;
};

// The document's single root element, or what is wrong with the document.
std::variant<XmlElement, XmlError> ParseXml(std::string_view document);

// Text with &, <, >, " escaped, for building replies.
std::string XmlEscape(std::string_view text);

} // namespace sim
