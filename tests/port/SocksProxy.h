#pragma once
// A small SOCKS 4/4a/5 proxy on 127.0.0.1 for the tests, relaying only to destinations
// on 127.0.0.1, and an echo server to relay to. Both stop by themselves once asked to
// or after a few seconds; every wait is bounded.
#include "LoopbackPeer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace loopback {

using testsupport::Accept;
using testsupport::Connect;
using testsupport::Fd;
using testsupport::Listen;
using testsupport::LocalPort;
using testsupport::Readable;
using testsupport::ReceiveSome;
using testsupport::SendAll;

// Stops by itself once asked to or after a few seconds.
class Echo {
  public:
    Echo() : listener_(Listen()), port_(LocalPort(listener_.Get())) {
        thread_ = std::thread([this] {
            Fd peer = Accept(listener_.Get(), 3000);
            for (int i = 0; peer && i < 50 && !stop_; ++i) {
                if (!Readable(peer.Get(), 100)) continue;
                char buf[512];
                ssize_t n = ::recv(peer.Get(), buf, sizeof buf, 0);
                if (n <= 0 || !SendAll(peer.Get(), std::string(buf, static_cast<size_t>(n)))) break;
            }
        });
    }
    ~Echo() {
        stop_ = true;
        Fd wake = Connect(port_); // an accept still waiting returns at once
        thread_.join();
    }
    uint16_t Port() const { return port_; }

  private:
    Fd listener_;
    uint16_t port_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class Proxy {
  public:
    Proxy(std::string user, std::string password)
        : listener_(Listen()), port_(LocalPort(listener_.Get())) {
        thread_ = std::thread([this, user, password] { Serve(user, password); });
    }
    ~Proxy() {
        stop_ = true;
        Fd wake = Connect(port_);
        thread_.join();
    }
    uint16_t Port() const { return port_; }

  private:
    static bool Read(int fd, void* dest, size_t n) {
        std::string got = ReceiveSome(fd, n, 2000);
        if (got.size() != n) return false;
        std::memcpy(dest, got.data(), n);
        return true;
    }
    static std::string ReadZ(int fd) {
        std::string s;
        char c = 0;
        for (int i = 0; i < 256 && Read(fd, &c, 1) && c != 0; ++i)
            s += c;
        return s;
    }
    // Only loopback destinations; the proxy itself resolves only "localhost".
    static Fd ConnectTo(uint32_t addrNet, uint16_t portNet) {
        if ((ntohl(addrNet) >> 24) != 127) return Fd();
        return Connect(ntohs(portNet));
    }
    void Serve(const std::string& user, const std::string& password) {
        Fd client = Accept(listener_.Get(), 3000);
        uint8_t version = 0;
        if (stop_ || !client || !Read(client.Get(), &version, 1)) return;
        Fd dest;
        if (version == 4) {
            uint8_t head[7];
            if (!Read(client.Get(), head, 7)) return;
            uint16_t portNet;
            uint32_t addrNet;
            std::memcpy(&portNet, head + 1, 2);
            std::memcpy(&addrNet, head + 3, 4);
            std::string id = ReadZ(client.Get());
            if ((ntohl(addrNet) >> 8) == 0 && ntohl(addrNet) != 0) // 4a: a name follows
                addrNet = ReadZ(client.Get()) == "localhost" ? htonl(INADDR_LOOPBACK) : 0;
            if (id == user) dest = ConnectTo(addrNet, portNet);
            uint8_t reply[8] = {0, static_cast<uint8_t>(dest ? 90 : 91), 0, 0, 0, 0, 0, 0};
            SendAll(client.Get(), std::string(reinterpret_cast<char*>(reply), 8));
        } else if (version == 5) {
            uint8_t count = 0;
            uint8_t methods[255];
            if (!Read(client.Get(), &count, 1) || !Read(client.Get(), methods, count)) return;
            bool offersAuth = std::find(methods, methods + count, 2) != methods + count;
            SendAll(client.Get(), std::string{5, static_cast<char>(offersAuth ? 2 : 0xFF)});
            if (!offersAuth) return;
            uint8_t ver = 0, len = 0;
            if (!Read(client.Get(), &ver, 1) || !Read(client.Get(), &len, 1)) return;
            std::string u(len, '\0');
            if (!Read(client.Get(), u.data(), len) || !Read(client.Get(), &len, 1)) return;
            std::string p(len, '\0');
            if (!Read(client.Get(), p.data(), len)) return;
            bool ok = u == user && p == password;
            SendAll(client.Get(), std::string{1, static_cast<char>(ok ? 0 : 1)});
            if (!ok) return;
            uint8_t req[10];
            if (!Read(client.Get(), req, 10) || req[1] != 1 || req[3] != 1) return;
            uint32_t addrNet;
            uint16_t portNet;
            std::memcpy(&addrNet, req + 4, 4);
            std::memcpy(&portNet, req + 8, 2);
            dest = ConnectTo(addrNet, portNet);
            char reply[10] = {5, static_cast<char>(dest ? 0 : 5), 0, 1, 127, 0, 0, 1, 0, 0};
            SendAll(client.Get(), std::string(reply, 10));
        }
        // Relay until either side ends, the test is over or a few seconds passed.
        for (int i = 0; dest && i < 50 && !stop_; ++i) {
            pollfd p[2] = {{client.Get(), POLLIN, 0}, {dest.Get(), POLLIN, 0}};
            if (::poll(p, 2, 100) <= 0) continue;
            for (int k = 0; k < 2; ++k) {
                if (!p[k].revents) continue;
                char buf[512];
                ssize_t n = ::recv(p[k].fd, buf, sizeof buf, 0);
                if (n <= 0 || !SendAll(p[1 - k].fd, std::string(buf, static_cast<size_t>(n))))
                    return;
            }
        }
    }

    Fd listener_;
    uint16_t port_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace loopback
