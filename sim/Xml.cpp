#include "Xml.h"

namespace sim {

namespace {

constexpr int MaxDepth = 32;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':';
}

class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::variant<XmlElement, XmlError> Document() {
        SkipMisc();
        if (!error_.empty()) return XmlError{error_};
        if (AtEnd() || Peek() != '<') return XmlError{"no root element"};
        XmlElement root;
        if (!Element(root, 0)) return XmlError{error_};
        SkipMisc();
        if (!error_.empty()) return XmlError{error_};
        if (!AtEnd()) return XmlError{"text after the root element"};
        return root;
    }

  private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return text_[pos_]; }
    bool StartsWith(std::string_view s) const { return text_.substr(pos_).starts_with(s); }
    void SkipSpace() {
        while (!AtEnd() && IsSpace(Peek()))
            ++pos_;
    }
    bool Fail(std::string message) {
        if (error_.empty()) error_ = std::move(message) + " at offset " + std::to_string(pos_);
        return false;
    }

    bool SkipUntil(std::string_view end) {
        std::size_t found = text_.find(end, pos_);
        if (found == std::string_view::npos) return Fail("unterminated markup");
        pos_ = found + end.size();
        return true;
    }

    // Space, comments and processing instructions around the root element.
    void SkipMisc() {
        for (;;) {
            SkipSpace();
            if (StartsWith("<?")) {
                if (!SkipUntil("?>")) return;
            } else if (StartsWith("<!--")) {
                if (!SkipUntil("-->")) return;
            } else if (StartsWith("<!")) {
                Fail("declarations are not accepted");
                return;
            } else {
                return;
            }
        }
    }

    bool Name(std::string& out) {
        std::size_t start = pos_;
        while (!AtEnd() && IsNameChar(Peek()))
            ++pos_;
        if (pos_ == start) return Fail("name expected");
        out = std::string(text_.substr(start, pos_ - start));
        return true;
    }

    bool Decode(std::string_view raw, std::string& out) {
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '&') {
                out += raw[i];
                continue;
            }
            std::size_t semi = raw.find(';', i);
            if (semi == std::string_view::npos) return Fail("unterminated entity");
            std::string_view name = raw.substr(i + 1, semi - i - 1);
            if (name == "lt")
                out += '<';
            else if (name == "gt")
                out += '>';
            else if (name == "amp")
                out += '&';
            else if (name == "quot")
                out += '"';
            else if (name == "apos")
                out += '\'';
            else
                return Fail("unknown entity &" + std::string(name) + ";");
            i = semi;
        }
        return true;
    }

    bool Element(XmlElement& element, int depth) {
        if (depth >= MaxDepth) return Fail("elements nested too deep");
        ++pos_; // '<'
        if (!Name(element.name)) return false;
        for (;;) {
            SkipSpace();
            if (AtEnd()) return Fail("unterminated start tag");
            if (StartsWith("/>")) {
                pos_ += 2;
                return true;
            }
            if (Peek() == '>') {
                ++pos_;
                break;
            }
            std::string attribute;
            if (!Name(attribute)) return false;
            SkipSpace();
            if (AtEnd() || Peek() != '=') return Fail("= expected");
            ++pos_;
            SkipSpace();
            if (AtEnd() || (Peek() != '"' && Peek() != '\'')) return Fail("quoted value expected");
            char quote = Peek();
            std::size_t end = text_.find(quote, pos_ + 1);
            if (end == std::string_view::npos) return Fail("unterminated attribute value");
            std::string value;
            if (!Decode(text_.substr(pos_ + 1, end - pos_ - 1), value)) return false;
            element.attributes.emplace_back(std::move(attribute), std::move(value));
            pos_ = end + 1;
        }
        for (;;) {
            if (AtEnd()) return Fail("missing </" + element.name + ">");
            if (StartsWith("</")) {
                pos_ += 2;
                std::string name;
                if (!Name(name)) return false;
                if (name != element.name)
                    return Fail("</" + name + "> closes <" + element.name + ">");
                SkipSpace();
                if (AtEnd() || Peek() != '>') return Fail("> expected");
                ++pos_;
                return true;
            }
            if (StartsWith("<!--")) {
                if (!SkipUntil("-->")) return false;
                continue;
            }
            if (StartsWith("<!") || StartsWith("<?")) return Fail("markup not accepted here");
            if (Peek() == '<') {
                XmlElement child;
                if (!Element(child, depth + 1)) return false;
                element.children.push_back(std::move(child));
                continue;
            }
            std::size_t end = text_.find('<', pos_);
            if (end == std::string_view::npos) end = text_.size();
            if (!Decode(text_.substr(pos_, end - pos_), element.text)) return false;
            pos_ = end;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string error_;
};

} // namespace

std::variant<XmlElement, XmlError> ParseXml(std::string_view document) {
    return Reader(document).Document();
}

std::string XmlEscape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace sim
