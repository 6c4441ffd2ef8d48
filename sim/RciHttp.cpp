#include "RciHttp.h"

#include "Base64.h"
#include "RciDocument.h"

#include <charconv>
#include <cstdio>

namespace sim {

namespace {

constexpr std::size_t MaxHead = 8192;
constexpr std::size_t MaxBody = 65536;
constexpr std::string_view User = "root";
constexpr std::string_view Password = "wqzk";

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

const char* ReasonOf(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Not Implemented";
    }
}

HttpReply Reply(int status, const std::string& contentType, const std::string& body,
                const std::string& extra, std::string note) {
    HttpReply reply;
    reply.status = status;
    reply.head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonOf(status) +
                 "\r\nContent-Type: " + contentType +
                 "\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n" + extra + "\r\n";
    reply.body = ChunkedBody(body);
    reply.note = std::move(note);
    return reply;
}

HttpReply Plain(int status, const std::string& text, const std::string& extra = {}) {
    return Reply(status, "text/plain", text + "\n", extra,
                 std::to_string(status) + " " + ReasonOf(status) + ": " + text);
}

bool Authorized(const HttpRequest& request) {
    std::optional<std::string> value = request.Header("Authorization");
    if (!value) return false;
    std::string_view v = Trim(*value);
    std::size_t blank = v.find(' ');
    if (blank == std::string_view::npos || !SameText(v.substr(0, blank), "Basic")) return false;
    std::optional<std::string> credentials = Base64Decode(Trim(v.substr(blank + 1)));
    return credentials && *credentials == std::string(User) + ":" + std::string(Password);
}

} // namespace

std::optional<std::string> HttpRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (SameText(key, name)) return value;
    }
    return std::nullopt;
}

HttpRequestReader::State HttpRequestReader::Bad(int status, std::string reason) {
    badStatus_ = status;
    badReason_ = std::move(reason);
    state_ = State::Bad;
    return state_;
}

HttpRequestReader::State HttpRequestReader::ParseHead(std::string_view head) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < head.size()) {
        std::size_t end = head.find('\n', pos);
        if (end == std::string_view::npos) end = head.size();
        std::string_view line = head.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        pos = end + 1;
    }
    if (lines.empty()) return Bad(400, "empty request");
    std::string_view first = lines[0];
    std::size_t a = first.find(' ');
    std::size_t b = a == std::string_view::npos ? a : first.find(' ', a + 1);
    if (b == std::string_view::npos || !first.substr(b + 1).starts_with("HTTP/1.")) {
        return Bad(400, "bad request line");
    }
    request_.method = std::string(first.substr(0, a));
    request_.target = std::string(first.substr(a + 1, b - a - 1));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::size_t colon = lines[i].find(':');
        if (colon == std::string_view::npos) continue;
        request_.headers.emplace_back(std::string(Trim(lines[i].substr(0, colon))),
                                      std::string(Trim(lines[i].substr(colon + 1))));
    }
    if (request_.Header("Transfer-Encoding")) return Bad(501, "chunked requests not accepted");
    if (auto length = request_.Header("Content-Length")) {
        std::string_view text = Trim(*length);
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), bodyLength_);
        if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
            return Bad(400, "bad Content-Length");
        }
        if (bodyLength_ > MaxBody) return Bad(413, "body longer than 65536 bytes");
    }
    headDone_ = true;
    return State::Incomplete;
}

HttpRequestReader::State HttpRequestReader::Feed(std::span<const std::uint8_t> bytes) {
    if (state_ != State::Incomplete) return state_;
    buffer_.append(bytes.begin(), bytes.end());
    if (!headDone_) {
        std::size_t end = buffer_.find("\r\n\r\n");
        std::size_t skip = 4;
        std::size_t lf = buffer_.find("\n\n");
        if (lf != std::string::npos && (end == std::string::npos || lf < end)) {
            end = lf;
            skip = 2;
        }
        if (end == std::string::npos) {
            if (buffer_.size() > MaxHead) return Bad(431, "head longer than 8192 bytes");
            return State::Incomplete;
        }
        if (end > MaxHead) return Bad(431, "head longer than 8192 bytes");
        if (ParseHead(std::string_view(buffer_).substr(0, end)) == State::Bad) return state_;
        buffer_.erase(0, end + skip);
    }
    if (buffer_.size() < bodyLength_) return State::Incomplete;
    request_.body = buffer_.substr(0, bodyLength_);
    state_ = State::Complete;
    return state_;
}

std::string ChunkedBody(std::string_view data) {
    std::string out;
    char size[8];
    while (!data.empty()) {
        std::size_t n = data.size() < 0xFFF ? data.size() : 0xFFF;
        std::snprintf(size, sizeof size, "%03zx\r\n", n);
        out += size;
        out += data.substr(0, n);
        out += "\r\n";
        data.remove_prefix(n);
    }
    out += "0\r\n\r\n";
    return out;
}

HttpReply AnswerRci(const HttpRequest& request, Pins& pins) {
    if (request.target != "/UE/rci") return Plain(404, "no such resource " + request.target);
    if (request.method != "POST") return Plain(405, "only POST is accepted", "Allow: POST\r\n");
    if (!Authorized(request)) {
        return Plain(401, "authorization required", "WWW-Authenticate: Basic realm=\"RCI\"\r\n");
    }
    RciOutcome outcome = RunRciDocument(request.body, pins);
    HttpReply reply = Reply(200, "text/xml", outcome.reply, {}, "200 OK: " + outcome.note);
    reply.reboot = outcome.reboot;
    return reply;
}

HttpReply AnswerBadRequest(int status, const std::string& reason) {
    return Plain(status, reason);
}

} // namespace sim
