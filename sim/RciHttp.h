// The LAN module's RCI service over HTTP: POST /UE/rci with Basic authorization
// root / wqzk, the body an RCI document. Every reply is a head, sent in one
// piece, and a body in chunked transfer coding whose chunk-size lines are three
// hexadecimal digits and CR LF, ended by "0" CR LF CR LF.
#pragma once

#include "Pins.h"

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace sim {

struct HttpRequest {
    std::string method;
    std::string target;
    std::vector<std::pair<std::string, std::string>> headers; // names as sent
    std::string body;

    // The first header of that name, compared without regard to case.
    std::optional<std::string> Header(std::string_view name) const;
};

// Collects one request from a connection's bytes. Head lines without a colon
// are skipped (the tool's client sends one); the body is Content-Length bytes.
class HttpRequestReader {
  public:
    enum class State { Incomplete, Complete, Bad };

    State Feed(std::span<const std::uint8_t> bytes);

    const HttpRequest& Request() const { return request_; }
    int BadStatus() const { return badStatus_; } // 400, 413, 431 or 501
    const std::string& BadReason() const { return badReason_; }

  private:
    State ParseHead(std::string_view head);
    State Bad(int status, std::string reason);

    std::string buffer_;
    HttpRequest request_;
    bool headDone_ = false;
    std::size_t bodyLength_ = 0;
    State state_ = State::Incomplete;
    int badStatus_ = 0;
    std::string badReason_;
};

struct HttpReply {
    int status = 200;
    std::string head; // status line and header fields, through the empty line
    std::string body; // chunked
    bool reboot = false;
    std::string note;
};

// The module's answer to a complete request; runs the document on the pins.
HttpReply AnswerRci(const HttpRequest& request, Pins& pins);

// A reply for a request that could not be read.
HttpReply AnswerBadRequest(int status, const std::string& reason);

// data in chunks of at most 0xFFF bytes, each with a three-digit size line,
// then "0" CR LF CR LF.
std::string ChunkedBody(std::string_view data);

} // namespace sim
