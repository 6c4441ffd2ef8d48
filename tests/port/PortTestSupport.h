#pragma once
// Fixtures shared by the port tests: a window thread's loop on the test's thread, a
// manual port clock (so line drains, delays and trigger timers never sleep), a fake
// device, and a notify window that records every notification it receives and runs
// a handler for it, as a port component's hidden window does.
#include "FakeDevice.h"
#include "Pump.h"

#include "winsys/EventLoop.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace port::testing {

struct Notification {
    uint32_t msg;
    uint32_t wParam;
    uint32_t data; // low word of lParam
    bool operator==(const Notification&) const = default;
};

inline std::string Pattern(size_t count, size_t offset = 0) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>('A' + (offset + i) % 26);
    return bytes;
}

class PortFixture : public ::testing::Test {
  protected:
    explicit PortFixture(bool threads) : threads_(threads) {
        winsys::SetCurrentClock(&clock);
        winsys::EventLoop::SetCurrent(&loop);
        window = loop.CreateWindow([this](winsys::HWND, uint32_t msg, winsys::WPARAM w,
                                          winsys::LPARAM l) -> winsys::LRESULT {
            if (!port || PortHandleOf(l) != port->PortHandle()) return 0;
            Notification n{msg, static_cast<uint32_t>(w), static_cast<uint32_t>(l & 0xFFFF)};
            seen.push_back(n);
            if (onNotify) onNotify(n);
            return 0;
        });
    }
    ~PortFixture() override {
        port.reset();
        loop.DestroyWindow(window);
        winsys::EventLoop::SetCurrent(nullptr);
        winsys::SetCurrentClock(nullptr);
    }

    // Opens the port with the notify window registered and the length trigger at 1.
    void Open(uint32_t outSize = 4096, uint32_t flowOpts = 0x03) {
        port = std::make_unique<TFakeDispatcher>(device, threads_, nullptr, &loop);
        ASSERT_EQ(port->Open(19200, outSize, flowOpts), 0);
        port->RegisterWndTriggerHandler(window);
        port->UpdateHandlerFlags(fuEnablePort);
        port->ChangeLengthTrigger(1);
    }

    // Reads up to count bytes with GetChar, as the tool's handler does.
    std::string Take(uint32_t count) {
        std::string bytes;
        char c;
        for (uint32_t i = 0; i < count && port->GetChar(c) == 0; ++i)
            bytes.push_back(c);
        return bytes;
    }

    template <class Pred> bool PumpUntil(Pred pred) { return testsupport::PumpUntil(loop, pred); }

    winsys::ManualClock clock{100000};
    winsys::EventLoop loop;
    TFakeDevice device;
    std::unique_ptr<TFakeDispatcher> port;
    winsys::HWND window = 0;
    std::vector<Notification> seen;
    std::function<void(const Notification&)> onNotify;

  private:
    bool threads_;
};

} // namespace port::testing
