#include "Simulator.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr std::size_t MaxConnectionsPerServer = 16;
constexpr std::size_t MaxPendingOutput = 65536;
constexpr Millis DrainTime = 2000;
constexpr Millis RelistenRetry = 1000;

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

Simulator::Simulator(const Options& options, TrafficLog& log)
    : options_(options), log_(log), start_(std::chrono::steady_clock::now()),
      measurements_(options.fixed), map_(measurements_), pins_(options.pins),
      module_(config_, map_, pins_),
      meter_(measurements_, config_, options.meterAddress, options.meterAckMs) {
    for (const auto& [key, value] : options_.settings)
        config_.Set(key, value);
    listeners_ = {{Service::RtuTcp, "rtu-tcp", options_.rtuTcpPort},
                  {Service::ModbusTcp, "mb-tcp", options_.modbusTcpPort},
                  {Service::Rci, "rci", options_.rciPort}};
    module_.onConfigChanged = [this] { ApplyLineSetting(); };
}

Simulator::~Simulator() {
    for (auto& [id, c] : connections_)
        close(c->fd);
    CloseListeners();
}

Millis Simulator::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
}

void Simulator::ApplyLineSetting() {
    if (!pty_) return;
    log_.Event(Now(), "serial: line setting " + pty_->ApplyLine(config_.BaudIndex()) +
                          " (Baudrate:" + std::to_string(config_.BaudIndex()) + ")");
}

std::optional<std::string> Simulator::Listen(Listener& l) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return ErrnoText("socket");
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(l.port));
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
        std::string error = ErrnoText(std::string(l.name) +
                                      ": cannot listen on 127.0.0.1:" + std::to_string(l.port));
        close(fd);
        return error;
    }
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    l.port = ntohs(addr.sin_port);
    l.fd = fd;
    return std::nullopt;
}

void Simulator::CloseListeners() {
    for (Listener& l : listeners_) {
        if (l.fd >= 0) close(l.fd);
        l.fd = -1;
    }
}

std::optional<std::string> Simulator::Start() {
    auto pty = PtyPort::Open();
    if (auto* error = std::get_if<std::string>(&pty)) return *error;
    pty_ = std::move(std::get<std::unique_ptr<PtyPort>>(pty));
    auto link =
        ComLink::Publish(options_.comDir, options_.com, pty_->SlavePath(), options_.replaceLink);
    if (auto* error = std::get_if<std::string>(&link)) return *error;
    link_ = std::move(std::get<std::unique_ptr<ComLink>>(link));
    serial_ = std::make_unique<Line>(Entrance::Serial, module_, meter_, config_, options_.gapMs,
                                     options_.textGapMs);
    for (Listener& l : listeners_) {
        if (auto error = Listen(l)) return error;
    }
    Millis now = Now();
    log_.Event(now, "rvex-sim: field module at Modbus address " +
                        std::to_string(config_.ModbusAddress()) + ", pins " + PinLetters(pins_) +
                        ", values " + (options_.fixed ? "static" : "changing over time"));
    log_.Event(now, "serial: pty " + pty_->SlavePath() + " published as " + link_->Path());
    ApplyLineSetting();
    for (const Listener& l : listeners_) {
        log_.Event(Now(),
                   std::string(l.name) + ": listening on 127.0.0.1:" + std::to_string(l.port));
    }
    return std::nullopt;
}

std::string Simulator::ReadyText() const {
    std::string out = "pty " + pty_->SlavePath() + "\ncom " + link_->Path() + "\n";
    for (const Listener& l : listeners_)
        out += std::string(l.name) + " " + std::to_string(l.port) + "\n";
    out += "pid " + std::to_string(getpid()) + "\nready\n";
    return out;
}

void Simulator::SendPty(const Bytes& bytes) {
    if (ptyOut_.size() + bytes.size() > MaxPendingOutput) {
        log_.Event(Now(), "serial: nobody reads the pty, reply dropped");
        return;
    }
    ptyOut_.insert(ptyOut_.end(), bytes.begin(), bytes.end());
    FlushPty();
}

void Simulator::FlushPty() {
    while (!ptyOut_.empty()) {
        ssize_t n = write(pty_->MasterFd(), ptyOut_.data(), ptyOut_.size());
        if (n <= 0) return; // EAGAIN: poll tells when there is room
        ptyOut_.erase(ptyOut_.begin(), ptyOut_.begin() + n);
    }
}

void Simulator::ReadPty() {
    std::uint8_t buf[4096];
    ssize_t n = read(pty_->MasterFd(), buf, sizeof buf);
    if (n <= 0) return;
    Serve("serial", serial_->Feed(std::span(buf, static_cast<std::size_t>(n)), Now()), nullptr);
}

void Simulator::Serve(const std::string& endpoint, std::vector<Exchange> exchanges, Connection* c) {
    Millis now = Now();
    for (const Exchange& ex : exchanges) {
        log_.Frame(now, "rx", endpoint, ex.rx, ex.rxText, ex.out.reply ? "" : ex.out.note);
        if (!ex.out.reply) continue;
        log_.Frame(now, "tx", endpoint, *ex.out.reply, ex.out.text, ex.out.note);
        if (c) {
            c->out.insert(c->out.end(), ex.out.reply->begin(), ex.out.reply->end());
            Flush(*c);
        } else {
            SendPty(*ex.out.reply);
        }
    }
}

void Simulator::Accept(Listener& l) {
    int fd = accept4(l.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    std::size_t count = 0;
    for (const auto& [id, c] : connections_)
        count += c->service == l.service;
    auto c = std::make_unique<Connection>();
    c->id = nextId_++;
    c->fd = fd;
    c->service = l.service;
    c->name = std::string(l.name) + "#" + std::to_string(c->id);
    if (count >= MaxConnectionsPerServer) {
        log_.Event(Now(), c->name + ": too many connections, closed");
        close(fd);
        return;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (l.service == Service::RtuTcp) {
        c->line = std::make_unique<Line>(Entrance::Lan, module_, meter_, config_, options_.gapMs,
                                         options_.textGapMs);
    }
    log_.Event(Now(), c->name + ": connected");
    connections_[c->id] = std::move(c);
}

void Simulator::Flush(Connection& c) {
    while (!c.out.empty()) {
        ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            log_.Event(Now(), c.name + ": " + ErrnoText("send failed"));
            c.dead = true;
            return;
        }
        c.out.erase(c.out.begin(), c.out.begin() + n);
    }
    if (c.finishing && !c.draining) {
        shutdown(c.fd, SHUT_WR);
        c.draining = true;
        c.drainUntil = Now() + DrainTime;
        if (c.rebootAfter) rebootRequested_ = true;
    }
}

void Simulator::OnRci(Connection& c, Millis now) {
    HttpReply reply;
    if (c.http.Feed({}) == HttpRequestReader::State::Bad) {
        log_.Rendered(now, "rx", c.name, "(unreadable request: " + c.http.BadReason() + ")");
        reply = AnswerBadRequest(c.http.BadStatus(), c.http.BadReason());
    } else {
        const HttpRequest& request = c.http.Request();
        log_.Rendered(now, "rx", c.name,
                      request.method + " " + request.target + " " +
                          QuotedText(ToBytes(request.body)));
        reply = AnswerRci(request, pins_);
    }
    log_.Rendered(now, "tx", c.name, reply.note + " " + QuotedText(ToBytes(reply.body)));
    c.answered = true;
    c.out.insert(c.out.end(), reply.head.begin(), reply.head.end());
    c.body = reply.body;
    c.bodyAt = now + options_.rciGapMs;
    c.rebootAfter = reply.reboot;
    Flush(c);
}

void Simulator::OnReadable(Connection& c) {
    std::uint8_t buf[4096];
    ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
        if (!c.draining) log_.Event(Now(), c.name + ": closed by the peer");
        c.dead = true;
        return;
    }
    if (c.draining || c.answered) return; // nothing more is taken from this peer
    auto bytes = std::span(buf, static_cast<std::size_t>(n));
    Millis now = Now();
    switch (c.service) {
    case Service::RtuTcp:
        Serve(c.name, c.line->Feed(bytes, now), &c);
        break;
    case Service::ModbusTcp: {
        c.mbap.Feed(bytes);
        std::vector<Exchange> exchanges;
        while (auto item = c.mbap.Next()) {
            Exchange ex;
            ex.rx = item->bytes;
            ex.out = item->valid ? module_.OnTcpFrame(item->bytes, now)
                                 : Outcome{std::nullopt, false, "bad MBAP header, dropped"};
            exchanges.push_back(std::move(ex));
        }
        Serve(c.name, std::move(exchanges), &c);
        break;
    }
    case Service::Rci:
        if (c.http.Feed(bytes) != HttpRequestReader::State::Incomplete) OnRci(c, now);
        break;
    }
}

void Simulator::Close(Connection& c) {
    // Read what the peer still sent, so that close() does not reset the
    // connection and destroy a reply the peer has not read yet.
    std::uint8_t buf[4096];
    while (recv(c.fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
    close(c.fd);
    c.fd = -1;
}

void Simulator::StartReboot(Millis now) {
    rebootRequested_ = false;
    for (auto& [id, c] : connections_)
        Close(*c);
    connections_.clear();
    CloseListeners();
    pins_ = options_.pins;
    rebootUntil_ = now + options_.rebootMs;
    log_.Event(now, "LAN module rebooting: connections dropped, back in " +
                        std::to_string(options_.rebootMs) + " ms");
}

void Simulator::Timers(Millis now) {
    Serve("serial", serial_->Tick(now), nullptr);
    for (auto& [id, c] : connections_) {
        if (c->line) Serve(c->name, c->line->Tick(now), c.get());
        if (c->bodyAt && now >= *c->bodyAt) {
            c->bodyAt.reset();
            c->out.insert(c->out.end(), c->body.begin(), c->body.end());
            c->finishing = true;
            Flush(*c);
        }
        if (c->draining && now >= c->drainUntil) c->dead = true;
    }
    if (rebootRequested_) StartReboot(now);
    if (rebootUntil_ && now >= *rebootUntil_) {
        bool all = true;
        for (Listener& l : listeners_) {
            if (l.fd >= 0) continue;
            if (auto error = Listen(l)) {
                log_.Event(now, *error + "; trying again");
                all = false;
            }
        }
        if (all) {
            rebootUntil_.reset();
            log_.Event(now, "LAN module back: pins " + PinLetters(pins_));
        } else {
            rebootUntil_ = now + RelistenRetry;
        }
    }
}

std::optional<Millis> Simulator::NextDeadline() const {
    std::optional<Millis> next = serial_->Deadline();
    auto take = [&](std::optional<Millis> t) {
        if (t && (!next || *t < *next)) next = t;
    };
    for (const auto& [id, c] : connections_) {
        if (c->line) take(c->line->Deadline());
        take(c->bodyAt);
        if (c->draining) take(c->drainUntil);
    }
    take(rebootUntil_);
    return next;
}

void Simulator::Run(int stopFd) {
    enum Kind { Stop, Pty, Watch, Listen, Conn };
    std::vector<pollfd> fds;
    std::vector<std::pair<Kind, int>> what;
    for (;;) {
        Timers(Now());
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (it->second->dead) {
                Close(*it->second);
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
        fds.clear();
        what.clear();
        fds.push_back({stopFd, POLLIN, 0});
        what.emplace_back(Stop, 0);
        // Opens and closes first, so that they are logged before the bytes that follow them.
        fds.push_back({pty_->WatchFd(), POLLIN, 0});
        what.emplace_back(Watch, 0);
        fds.push_back(
            {pty_->MasterFd(), static_cast<short>(POLLIN | (ptyOut_.empty() ? 0 : POLLOUT)), 0});
        what.emplace_back(Pty, 0);
        for (std::size_t i = 0; i < listeners_.size(); ++i) {
            if (listeners_[i].fd < 0) continue;
            fds.push_back({listeners_[i].fd, POLLIN, 0});
            what.emplace_back(Listen, static_cast<int>(i));
        }
        for (const auto& [id, c] : connections_) {
            short events = POLLIN;
            if (!c->out.empty()) events |= POLLOUT;
            fds.push_back({c->fd, events, 0});
            what.emplace_back(Conn, id);
        }
        int timeout = 1000;
        if (auto deadline = NextDeadline()) {
            Millis wait = *deadline - Now();
            timeout = wait < 0 ? 0 : wait > 1000 ? 1000 : static_cast<int>(wait);
        }
        if (poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            log_.Event(Now(), ErrnoText("poll"));
            return;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            short got = fds[i].revents;
            if (got == 0) continue;
            auto [kind, index] = what[i];
            switch (kind) {
            case Stop: {
                signalfd_siginfo info{};
                ssize_t n = read(stopFd, &info, sizeof info);
                log_.Event(Now(), n == sizeof info ? std::string("stopping on ") +
                                                         strsignal(static_cast<int>(info.ssi_signo))
                                                   : std::string("stopping"));
                return;
            }
            case Pty:
                if (got & POLLOUT) FlushPty();
                if (got & POLLIN) ReadPty();
                break;
            case Watch:
                switch (pty_->OnWatch()) {
                case 1:
                    log_.Event(Now(), "serial: port opened by a client");
                    break;
                case -1:
                    log_.Event(Now(), "serial: port closed by its last client");
                    break;
                default:
                    break;
                }
                break;
            case Listen:
                if (listeners_[static_cast<std::size_t>(index)].fd >= 0) {
                    Accept(listeners_[static_cast<std::size_t>(index)]);
                }
                break;
            case Conn: {
                auto it = connections_.find(index);
                if (it == connections_.end() || it->second->dead) break;
                if (got & POLLOUT) Flush(*it->second);
                if (got & (POLLIN | POLLHUP | POLLERR)) OnReadable(*it->second);
                break;
            }
            }
        }
    }
}

} // namespace sim
