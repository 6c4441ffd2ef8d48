#pragma once
// The module on a pty's master for the end-to-end tests over a serial line: the test
// links COM3 to the pty's slave, the tool opens it, and this answers each Read
// Holding Registers request of slave 10 from its register map, with an exception or
// not at all where the test says so, or goes away as a pulled adapter.
#include "Pty.h"
#include "ToolRun.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

// The module on a pty's master: answers each Read Holding Registers request of slave
// 10 from its register map and keeps every request it saw.
class PtyModule {
  public:
    explicit PtyModule(Registers regs) : regs_(std::move(regs)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyModule() {
        stop_ = true;
        thread_.join();
    }
    // Requests for the register at this request address get the exception reply with
    // code; requests for one that is ignored get no reply at all.
    void Refuse(unsigned address, int code) {
        std::lock_guard lock(mutex_);
        refused_[address] = code;
    }
    void Ignore(unsigned address) { Refuse(address, -1); }
    // After answering n requests the module goes away at the next one, as a pulled
    // adapter: the pty's master closes (the kernel then drops what the pty still held,
    // so the answers given have been read by then).
    void VanishAfter(int n) { vanishAfter_ = n; }
    // Each answer waits this long after its request.
    void DelayReplies(std::chrono::milliseconds delay) {
        delayMs_ = static_cast<int>(delay.count());
    }
    const std::string& Path() const { return pty_.SlavePath(); }
    std::vector<std::string> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // The reply the module gives to a request for count registers at start.
    std::string Reply(unsigned start, unsigned count) const {
        return ReadReply(regs_, start, count);
    }

  private:
    void Run() {
        std::string pending;
        const auto deadline = std::chrono::steady_clock::now() + 120s;
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            pollfd p{pty_.Master(), POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            char buf[512];
            ssize_t n = read(pty_.Master(), buf, sizeof buf);
            if (n <= 0) continue;
            pending.append(buf, static_cast<std::size_t>(n));
            while (pending.size() >= 8) {
                std::string frame = pending.substr(0, 8);
                if (frame[1] != 3 || WithCrc(frame.substr(0, 6)) != frame) {
                    pending.erase(0, 1); // not a request here: look one byte on
                    continue;
                }
                pending.erase(0, 8);
                if (answered_ == vanishAfter_) {
                    pty_.CloseMaster();
                    return;
                }
                {
                    std::lock_guard lock(mutex_);
                    requests_.push_back(SpacedHex(frame));
                }
                auto u = [&](int i) { return static_cast<unsigned char>(frame[i]); };
                std::string reply = Reply(u(2) << 8 | u(3), u(4) << 8 | u(5));
                {
                    std::lock_guard lock(mutex_);
                    auto refused = refused_.find(static_cast<unsigned>(u(2) << 8 | u(3)));
                    if (refused != refused_.end() && refused->second < 0) continue;
                    if (refused != refused_.end())
                        reply = WithCrc(Bytes({10, 0x83, refused->second}));
                }
                if (delayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
                if (write(pty_.Master(), reply.data(), reply.size()) < 0) break;
                ++answered_;
            }
        }
    }

    Registers regs_;
    testsupport::PtyPair pty_; // close-on-exec: the tool's copy would keep the pty alive
    std::atomic<bool> stop_{false};
    std::atomic<int> vanishAfter_{-1};
    std::atomic<int> delayMs_{0};
    int answered_ = 0;
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::map<unsigned, int> refused_;
    std::thread thread_;
};

} // namespace e2e
