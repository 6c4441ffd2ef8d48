#pragma once
// A scripted HTTP server on 127.0.0.1 for the RCI client's tests: a thread that takes
// one connection per script entry, reads one request (head and Content-Length body),
// answers with the entry's pieces, one send each, and then waits for the client to
// close, or hangs until the server is destroyed. Every wait is bounded.
#include "FormFixture.h"
#include "Loopback.h"
#include "ScopedSetting.h"
#include "tool/RciSettings.h"
#include "tool/RciSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rcitest {

struct Exchange {
    std::vector<std::string> reply; // sent in this order, one send each
    bool hang = false;              // after the reply, neither close nor read
    bool close = false;             // close right after the reply
    int delayMs = 0;                // waits this long after the request before replying
};

// The main window with the RCI client aimed at 127.0.0.1 and short time limits; the
// client's port and limits are put back at the end.
class RciFixture : public fakes::FormFixture {
  protected:
    RciFixture() { form->Edit4.SetText("127.0.0.1"); }

    testsupport::ScopedValue<tool::RciTimeLimits> limits{tool::RciLimits, {1000, 1000, 1000, 3000}};
    testsupport::ScopedValue<int> rciPort{tool::RciPort, tool::RciPort};
};

class HttpServer {
  public:
    explicit HttpServer(std::vector<Exchange> script) : script_(std::move(script)) {
        if (!listen_ || ::pipe2(stop_, O_CLOEXEC) != 0) std::abort();
        thread_ = std::thread([this] { Run(); });
    }
    ~HttpServer() {
        char c = 0;
        [[maybe_unused]] ssize_t n = ::write(stop_[1], &c, 1);
        thread_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    uint16_t Port() const { return testsupport::LocalPort(listen_.Get()); }
    int Connections() const { return connections_; }
    // The requests read so far, each as it arrived.
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

  private:
    static constexpr int WaitMs = 5000;

    // Waits for fd to become readable; false on stop or after WaitMs.
    bool Wait(int fd, int ms = WaitMs) {
        pollfd p[2] = {{fd, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        return ::poll(p, 2, ms) > 0 && !(p[1].revents & POLLIN) && p[0].revents;
    }

    void Run() {
        for (const Exchange& exchange : script_) {
            if (!Wait(listen_.Get())) return;
            int conn = ::accept4(listen_.Get(), nullptr, nullptr, SOCK_CLOEXEC);
            if (conn < 0) return;
            ++connections_;
            int one = 1;
            ::setsockopt(conn, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            bool go = Serve(conn, exchange);
            ::close(conn);
            if (!go) return;
        }
    }

    bool Serve(int conn, const Exchange& exchange) {
        std::string request;
        if (!ReadRequest(conn, request)) return false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        if (exchange.delayMs > 0) {
            pollfd stop{stop_[0], POLLIN, 0};
            if (::poll(&stop, 1, exchange.delayMs) > 0) return false;
        }
        for (const std::string& piece : exchange.reply)
            if (::send(conn, piece.data(), piece.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(piece.size()))
                return false;
        if (exchange.close) return true;
        if (exchange.hang) {
            Wait(stop_[0], 10000);
            return false;
        }
        // Until the client closes, so that nothing unread turns the close into a reset.
        char buffer[512];
        for (int i = 0; i < 100 && Wait(conn); ++i)
            if (::recv(conn, buffer, sizeof buffer, 0) <= 0) break;
        return true;
    }

    static size_t ContentLength(const std::string& head) {
        const char* key = "\r\nContent-Length: ";
        size_t at = head.find(key);
        return at == std::string::npos
                   ? 0
                   : std::strtoul(head.c_str() + at + std::strlen(key), nullptr, 10);
    }

    bool ReadRequest(int conn, std::string& request) {
        char buffer[4096];
        for (int i = 0; i < 1000 && request.size() < 65536; ++i) {
            size_t end = request.find("\r\n\r\n");
            if (end != std::string::npos &&
                request.size() >= end + 4 + ContentLength(request.substr(0, end + 2)))
                return true;
            if (!Wait(conn)) return false;
            ssize_t n = ::recv(conn, buffer, sizeof buffer, 0);
            if (n <= 0) return false;
            request.append(buffer, static_cast<size_t>(n));
        }
        return false;
    }

    std::vector<Exchange> script_;
    testsupport::Fd listen_ = testsupport::Listen();
    int stop_[2] = {-1, -1};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

} // namespace rcitest
