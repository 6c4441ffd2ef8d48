// The RCI client over HTTP (Button28).
#include "tool/RciClient.h"

#include "tool/InputFile.h"
#include "tool/RciFiles.h"
#include "tool/RciReplyReader.h"
#include "tool/RciSettings.h"
#include "tool/RciSocket.h"
#include "tool/Unit1.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace tool {

namespace {

constexpr size_t ReceiveAreaSize = 15000;

class FileHandle {
  public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    explicit operator bool() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // The log is a record for the operator; a full disk must not end the request.
    void Append(const char* data, size_t size) {
        while (size > 0) {
            ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    void Append(const std::string& text) { Append(text.data(), text.size()); }

  private:
    int fd_;
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// What the operator never sees in the window, kept on the standard output stream.
void Console(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

// The system error numbers of the original platform's file interface.
int FileErrorNumber(int errnoValue) {
    switch (errnoValue) {
    case EACCES:
    case EPERM:
        return 5; // access denied
    case EIO:
        return 30; // read fault
    case ENOMEM:
        return 8; // not enough memory
    case EINVAL:
        return 87; // invalid parameter
    default:
        return errnoValue;
    }
}

// Shared with other readers; only a regular file is a request file.
int OpenRequestFile(const std::string& name) {
    return OpenInputFileDescriptor(name.c_str());
}

// Up to size bytes, as many reads as the system needs; -1 on an error.
ssize_t ReadUpTo(int fd, char* data, size_t size) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

int MsLeft(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void ShowBody(TMainForm& f, const std::string& body) {
    std::memset(f.RciReply, 0, sizeof f.RciReply);
    size_t n = strnlen(body.data(), std::min(body.size(), sizeof f.RciReply - 1));
    std::memcpy(f.RciReply, body.data(), n);
}

// A final reply head whose status is not 2xx: the LAN module refused the request.
bool Refused(const RciReplyReader& reader) {
    int status = reader.Status();
    return reader.HeadDone() && status != 0 && (status < 200 || status > 299);
}

// Reads the reply and logs it; "" or the status text of a failure. The body of a
// refused request is logged but neither kept nor followed by the status read.
std::string ReceiveReply(TMainForm& f, RciSocket& socket, FileHandle& log,
                         const std::string& peer) {
    RciReplyReader reader;
    std::string area(ReceiveAreaSize, '\0');
    uint64_t shown = 0;
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(RciLimits.ExchangeMs);
    for (;;) {
        size_t received = 0;
        int wait = std::min(RciLimits.ReceiveMs, MsLeft(deadline));
        int err =
            wait > 0 ? socket.Receive(area.data(), area.size(), received, wait) : RciErrTimedOut;
        if (err == 0 && received > 0) reader.Feed(area.data(), received);
        if (err == 0 && received == 0) reader.PeerClosed();
        bool last = err != 0 || received == 0 || reader.Complete() || reader.Malformed();
        if (last) reader.Finish();
        log.Append(reader.TakeLog());
        if (reader.BodyBytes() > shown && !Refused(reader)) {
            shown = reader.BodyBytes();
            ShowBody(f, reader.Body());
            f.Timer4.SetEnabled(true);
        }
        if (!last) continue;
        if (Refused(reader)) {
            std::string reason = reader.Reason().empty() ? "" : " " + reader.Reason();
            return "Request refused by " + peer + ": HTTP " + std::to_string(reader.Status()) +
                   reason;
        }
        if (err != 0) {
            if (!reader.HeadDone()) return Format("Socket Error: %d\n", err);
            return Format("Error recieving main data chunk!\nError code: %d\n", err);
        }
        if (reader.Malformed())
            Console("Malformed reply\n");
        else if (!reader.Complete())
            Console(reader.HeadDone() ? "Socket closed\n" : "Socket Closed\n");
        return "";
    }
}

} // namespace

std::string BuildRciHeader(const std::string& requestLine, size_t bodyLength,
                           const std::string& address, const std::string& credentials) {
    std::string head = requestLine + "\r\n";
    head += "text/html, image/gif, image/jpef\r\n";
    head += "Accept-Language: en-us\r\n";
    head += "User-Agent: httpRCI\r\n";
    head += "Host: " + address + "\r\n";
    head += "Connection: Keep-Alive\r\n";
    head += "Authorization: Basic " + credentials + "\r\n";
    if (bodyLength > 0) head += "Content-Length: " + std::to_string(bodyLength) + "\r\n";
    head += "\r\n";
    return head;
}

std::string EncodeCredentials(const std::string& user, const std::string& password) {
    static const char Alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string joined = user + ":" + password;
    std::string out;
    for (size_t i = 0; i < joined.size(); i += 3) {
        size_t n = std::min<size_t>(3, joined.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<uint8_t>(joined[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? Alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

void TMainForm::SendRciRequest() {
    auto report = [this](const std::string& text) { StatusBar1.SetText(text); };

    uint32_t address = RciParseAddress(Edit4.Text());
    std::string dotted = RciDottedAddress(address);
    int port = RciPort >= 1 && RciPort <= 65535 ? RciPort : 80;

    RciSocket socket;
    if (int err = socket.Create())
        return report(Format("Error creating a valid socket! %d\n", err));

    std::string fileName(RciFileName, strnlen(RciFileName, sizeof RciFileName));
    FileHandle request(OpenRequestFile(fileName));
    if (!request) return report(Format("Unable to open file: %s\n", fileName.c_str()));
    FileHandle log(OpenLog());
    if (!log) return report(Format("Failed to open Log file: %s!\n", RciLogFileName));

    char body[RciMaxRequest + 1];
    ssize_t read = ReadUpTo(request.Fd(), body, sizeof body);
    if (read < 0) return report(Format("Error reading the file! %d\n", FileErrorNumber(errno)));
    size_t bodySize = static_cast<size_t>(read);
    if (bodySize > RciMaxRequest)
        return report("Error, maximum RCI request that can be made is 1500 bytes!\n");

    std::string head = BuildRciHeader("POST /UE/rci HTTP/1.1", bodySize, dotted,
                                      EncodeCredentials("root", "wqzk"));

    if (int err = socket.Connect(address, static_cast<uint16_t>(port), RciLimits.ConnectMs))
        return report(Format("Connection Failed to %s:%d error: %d\n", dotted.c_str(), port, err));

    size_t sent = 0;
    int err = socket.SendAll(head.data(), head.size(), sent, RciLimits.SendMs);
    log.Append(head.data(), sent);
    log.Append("\r\n");
    if (err == RciErrNoProgress)
        return report(Format("Couldn't send all of the POST data! %d\n", static_cast<int>(sent)));
    if (err) return report(Format("Socket Error: %d\n", err));

    err = socket.SendAll(body, bodySize, sent, RciLimits.SendMs);
    log.Append(body, sent);
    log.Append("\r\n\r\n");
    if (err == RciErrNoProgress)
        return report(Format("Couldn't send all of the RCI data! %d\n", static_cast<int>(sent)));
    if (err) return report(Format("Socket Error: %d\n", err));

    std::string peer = dotted + ":" + std::to_string(port);
    std::string failure = ReceiveReply(*this, socket, log, peer);
    if (!failure.empty()) report(failure);
}

} // namespace tool
