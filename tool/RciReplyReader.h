#pragma once
// Reads an HTTP reply of the LAN module's RCI service from the bytes as they arrive,
// however the network cuts them: the head up to its empty line (interim 1xx heads
// are passed over), then the body by its coding: chunked (any chunk size, chunk
// extensions, trailer not waited for), Content-Length, or until the peer closes.
// Replies 204 and 304 have no body.
//
// It also produces the reply's part of the exchange log: each head as received
// followed by CR LF; each chunk's data with the CR LF that closes it, followed by
// CR LF (chunk-size lines and the last chunk are not logged); a body of any other
// coding as received, followed by CR LF. Pure: no I/O, any bytes are safe.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tool {

class RciReplyReader {
  public:
    static constexpr size_t HeadLimit = 15000; // longer heads are malformed
    static constexpr size_t LineLimit = 1024;  // chunk-size lines
    static constexpr size_t KeepLimit = 3999;  // body bytes kept in Body()

    // Takes the next bytes of the reply; bytes after its end are ignored.
    void Feed(const char* data, size_t size);
    // The peer closed the connection: this ends a body that runs until close.
    void PeerClosed();
    // Nothing more will be fed: closes the log entry left open (a head or a chunk
    // cut short).
    void Finish();

    // A final (not 1xx) head has been read.
    bool HeadDone() const { return state_ != State::Head; }
    // The body ended as its coding says.
    bool Complete() const { return state_ == State::Done; }
    // The reply cannot be read further (a head too long, a chunk-size line that
    // does not begin with a hexadecimal number, a chunk not closed by CR LF).
    bool Malformed() const { return state_ == State::Malformed; }
    int Status() const { return status_; } // 0 when the status line has none
    // The reason phrase of the status line as sent ("Not Found"), "" when none.
    const std::string& Reason() const { return reason_; }
    // Decoded body bytes received so far, and the first KeepLimit of them.
    uint64_t BodyBytes() const { return bodyBytes_; }
    const std::string& Body() const { return body_; }
    // The log text produced since the last call.
    std::string TakeLog();

  private:
    enum class State { Head, ChunkSize, ChunkData, ChunkEnd, Length, UntilClose, Done, Malformed };
    enum class Coding { Chunked, Length, UntilClose, None };

    size_t FeedHead(const char* data, size_t size);
    size_t FeedChunkSize(const char* data, size_t size);
    size_t FeedChunkEnd(const char* data, size_t size);
    size_t FeedBody(const char* data, size_t size);
    void EndHead();
    Coding ParseHead();
    void KeepBody(const char* data, size_t size);
    void CloseEntry();

    State state_ = State::Head;
    std::string head_;       // the head being read
    std::string line_;       // the chunk-size line being read
    uint64_t remaining_ = 0; // bytes left in this chunk or Content-Length body
    bool sawCr_ = false;     // a chunk's closing CR was seen
    bool entryOpen_ = false; // a log entry waits for its CR LF
    int status_ = 0;
    std::string reason_;
    uint64_t bodyBytes_ = 0;
    std::string body_;
    std::string log_;
};

} // namespace tool
