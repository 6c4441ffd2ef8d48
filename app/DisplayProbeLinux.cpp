#include "app/DisplayProbe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace app {

namespace {

constexpr int ConnectLimitMs = 2000;

// Connects the non-blocking Fd to Addr, waiting at most ConnectLimitMs; closes Fd. A
// local server whose queue is full (EAGAIN) is there all the same.
bool ConnectsWithin(int Fd, const sockaddr* Addr, socklen_t Len) {
    if (Fd < 0) return false;
    bool ok = ::connect(Fd, Addr, Len) == 0 || errno == EAGAIN;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{Fd, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        ok = ::poll(&p, 1, ConnectLimitMs) == 1 &&
             ::getsockopt(Fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    ::close(Fd);
    return ok;
}

// A local socket by path, or in the abstract namespace when Abstract is set.
bool LocalSocketAnswers(const std::string& Path, bool Abstract) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const size_t offset = Abstract ? 1 : 0;
    if (Path.empty() || Path.size() + offset >= sizeof a.sun_path) return false;
    std::memcpy(a.sun_path + offset, Path.data(), Path.size());
    auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + Path.size() +
                                      (Abstract ? 0 : 1));
    return ConnectsWithin(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0),
                          reinterpret_cast<const sockaddr*>(&a), len);
}

bool TcpAnswers(const std::string& Host, int Port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(Host.c_str(), std::to_string(Port).c_str(), &hints, &list) != 0) return false;
    bool ok = false;
    for (addrinfo* ai = list; ai && !ok; ai = ai->ai_next)
        ok = ConnectsWithin(::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                                     ai->ai_protocol),
                            ai->ai_addr, ai->ai_addrlen);
    ::freeaddrinfo(list);
    return ok;
}

std::string Environment(const char* Name) {
    const char* v = std::getenv(Name);
    return v ? v : "";
}

} // namespace

bool XDisplayReachable(const std::string& Display) {
    size_t colon = Display.rfind(':');
    if (colon == std::string::npos) return true;
    std::string host = Display.substr(0, colon);
    std::string rest = Display.substr(colon + 1);
    size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 5 || (digits < rest.size() && rest[digits] != '.')) return true;
    const int number = std::atoi(rest.substr(0, digits).c_str());
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        return LocalSocketAnswers(path, true) || LocalSocketAnswers(path, false);
    }
    if (host.find('/') != std::string::npos) return true; // a form of another system
    return TcpAnswers(host, 6000 + number);
}

bool WaylandDisplayReachable(const std::string& Display, const std::string& RuntimeDir) {
    if (Display.empty()) return false;
    if (Display.front() == '/') return LocalSocketAnswers(Display, false);
    if (RuntimeDir.empty()) return false;
    return LocalSocketAnswers(RuntimeDir + "/" + Display, false);
}

std::optional<std::string> UnreachableDisplay() {
    if (!Environment("QT_QPA_PLATFORM").empty()) return std::nullopt;
    const std::string x = Environment("DISPLAY");
    const std::string wayland = Environment("WAYLAND_DISPLAY");
    if (x.empty() && wayland.empty()) return std::nullopt;
    if (!x.empty() && XDisplayReachable(x)) return std::nullopt;
    if (!wayland.empty() && WaylandDisplayReachable(wayland, Environment("XDG_RUNTIME_DIR")))
        return std::nullopt;
    std::string named;
    if (!x.empty()) named = "DISPLAY=" + x;
    if (!wayland.empty()) named += (named.empty() ? "" : ", ") + ("WAYLAND_DISPLAY=" + wayland);
    return named;
}

} // namespace app
