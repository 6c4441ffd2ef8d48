#include "tool/RciReplyReader.h"

#include <algorithm>
#include <cstring>

namespace tool {

namespace {

constexpr uint64_t SizeLimit = uint64_t(1) << 48; // larger chunk sizes are nonsense

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A Content-Length value: decimal digits only.
bool ParseLength(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 15) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

} // namespace

void RciReplyReader::Feed(const char* data, size_t size) {
    while (size > 0) {
        size_t used = 0;
        switch (state_) {
        case State::Head:
            used = FeedHead(data, size);
            break;
        case State::ChunkSize:
            used = FeedChunkSize(data, size);
            break;
        case State::ChunkEnd:
            used = FeedChunkEnd(data, size);
            break;
        case State::ChunkData:
        case State::Length:
        case State::UntilClose:
            used = FeedBody(data, size);
            break;
        case State::Done:
        case State::Malformed:
            return;
        }
        data += used;
        size -= used;
    }
}

void RciReplyReader::PeerClosed() {
    if (state_ != State::UntilClose) return;
    CloseEntry();
    state_ = State::Done;
}

void RciReplyReader::Finish() {
    if (state_ == State::Head && !head_.empty()) {
        log_ += head_;
        log_ += "\r\n";
        head_.clear();
    }
    CloseEntry();
}

std::string RciReplyReader::TakeLog() {
    std::string out;
    out.swap(log_);
    return out;
}

size_t RciReplyReader::FeedHead(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        head_ += data[i];
        if (head_.size() > HeadLimit) {
            Finish();
            state_ = State::Malformed;
            return i + 1;
        }
        if (data[i] != '\n') continue;
        // The line just ended, without its line break.
        size_t end = head_.size() - 1;
        if (end > 0 && head_[end - 1] == '\r') --end;
        size_t begin = head_.rfind('\n', head_.size() - 2);
        begin = (begin == std::string::npos || head_.size() < 2) ? 0 : begin + 1;
        if (end > begin) continue;
        // An empty line: it ends the head, unless nothing but empty lines came yet.
        if (head_.find_first_not_of("\r\n") == std::string::npos) continue;
        EndHead();
        return i + 1;
    }
    return size;
}

void RciReplyReader::EndHead() {
    log_ += head_;
    log_ += "\r\n";
    Coding coding = ParseHead();
    head_.clear();
    if (status_ >= 100 && status_ < 200) return; // an interim head: the real one follows
    switch (coding) {
    case Coding::Chunked:
        state_ = State::ChunkSize;
        break;
    case Coding::Length:
        state_ = remaining_ > 0 ? State::Length : State::Done;
        break;
    case Coding::UntilClose:
        state_ = State::UntilClose;
        break;
    case Coding::None:
        state_ = State::Done;
        break;
    }
}

RciReplyReader::Coding RciReplyReader::ParseHead() {
    status_ = 0;
    reason_.clear();
    bool statusLine = true, chunked = false, coded = false, lengthSeen = false, lengthBad = false;
    uint64_t length = 0;
    size_t pos = 0;
    while (pos < head_.size()) {
        size_t nl = head_.find('\n', pos);
        if (nl == std::string::npos) nl = head_.size();
        std::string line = head_.substr(pos, nl - pos);
        pos = nl + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (statusLine) {
            statusLine = false;
            size_t space = line.find(' ');
            if (line.compare(0, 5, "HTTP/") == 0 && space != std::string::npos &&
                line.size() >= space + 4) {
                int code = 0;
                for (size_t k = space + 1; k < space + 4; ++k) {
                    if (line[k] < '0' || line[k] > '9') {
                        code = 0;
                        break;
                    }
                    code = code * 10 + (line[k] - '0');
                }
                status_ = code;
                if (code && line.size() > space + 4 && line[space + 4] == ' ')
                    reason_ = Trim(line.substr(space + 5));
            }
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = Lower(Trim(line.substr(0, colon)));
        std::string value = Trim(line.substr(colon + 1));
        if (name == "transfer-encoding") {
            coded = true;
            size_t comma = value.rfind(',');
            chunked = Lower(Trim(comma == std::string::npos ? value : value.substr(comma + 1))) ==
                      "chunked";
        } else if (name == "content-length") {
            uint64_t v = 0;
            if (!ParseLength(value, v) || (lengthSeen && v != length)) lengthBad = true;
            lengthSeen = true;
            length = v;
        }
    }
    if (status_ == 204 || status_ == 304) return Coding::None;
    if (coded) return chunked ? Coding::Chunked : Coding::UntilClose;
    if (lengthSeen && !lengthBad) {
        remaining_ = length;
        return Coding::Length;
    }
    return Coding::UntilClose;
}

size_t RciReplyReader::FeedChunkSize(const char* data, size_t size) {
    const char* nl = static_cast<const char*>(std::memchr(data, '\n', size));
    size_t take = nl ? static_cast<size_t>(nl - data) + 1 : size;
    line_.append(data, take);
    if (line_.size() > LineLimit) {
        state_ = State::Malformed;
        return take;
    }
    if (!nl) return take;
    // hex digits, then optional blanks and extensions after ";"
    uint64_t chunk = 0;
    size_t i = 0;
    for (; i < line_.size() && HexValue(line_[i]) >= 0; ++i) {
        chunk = chunk * 16 + static_cast<uint64_t>(HexValue(line_[i]));
        if (chunk > SizeLimit) break;
    }
    bool digits = i > 0;
    while (i < line_.size() && (line_[i] == ' ' || line_[i] == '\t'))
        ++i;
    bool rest = i < line_.size() && (line_[i] == ';' || line_[i] == '\r' || line_[i] == '\n');
    line_.clear();
    if (!digits || !rest || chunk > SizeLimit) {
        state_ = State::Malformed;
    } else if (chunk == 0) {
        state_ = State::Done; // the last chunk: the trailer is not waited for
    } else {
        remaining_ = chunk;
        state_ = State::ChunkData;
    }
    return take;
}

size_t RciReplyReader::FeedBody(const char* data, size_t size) {
    size_t take = size;
    if (state_ != State::UntilClose)
        take = static_cast<size_t>(std::min<uint64_t>(remaining_, size));
    KeepBody(data, take);
    log_.append(data, take);
    entryOpen_ = true;
    if (state_ == State::UntilClose) return take;
    remaining_ -= take;
    if (remaining_ == 0) {
        if (state_ == State::ChunkData) {
            state_ = State::ChunkEnd;
        } else {
            CloseEntry();
            state_ = State::Done;
        }
    }
    return take;
}

size_t RciReplyReader::FeedChunkEnd(const char* data, size_t /*size*/) {
    char c = data[0];
    if (c == '\r' && !sawCr_) {
        sawCr_ = true;
        log_ += c;
    } else if (c == '\n') {
        sawCr_ = false;
        log_ += c;
        CloseEntry();
        state_ = State::ChunkSize;
    } else {
        state_ = State::Malformed;
    }
    return 1;
}

void RciReplyReader::KeepBody(const char* data, size_t size) {
    bodyBytes_ += size;
    if (body_.size() < KeepLimit) body_.append(data, std::min(size, KeepLimit - body_.size()));
}

void RciReplyReader::CloseEntry() {
    if (!entryOpen_) return;
    log_ += "\r\n";
    entryOpen_ = false;
}

} // namespace tool
