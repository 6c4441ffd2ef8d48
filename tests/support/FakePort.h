#pragma once
// A port component for the tool's tests that keeps the port contract: received bytes
// are announced on the window thread with the unread count, GetChar takes them in
// order and raises -3007 when none is left, writes are recorded (and refused with
// -3006 when they do not fit), and the network events can be driven by the test.
#include "port/ComPortInterface.h"
#include "winsys/EventLoop.h"
#include "winsys/Exception.h"

#include <deque>
#include <string>
#include <vector>

namespace fakes {

class FakePortError : public winsys::Exception {
  public:
    FakePortError(int code, const std::string& message) : winsys::Exception(message), Code(code) {}
    int Code;
};

class FakePort : public port::IWinsockPort {
  public:
    explicit FakePort(winsys::EventLoop& loop) : loop_(loop) {}

    // ---- the test's side ----
    // Bytes arrive from the peer; the notification runs on the window thread when the
    // loop next runs.
    void Deliver(const std::string& bytes);
    // Everything written so far, and taking it.
    const std::string& Written() const { return written_; }
    std::string TakeWritten();
    // The next open fails with this code and message.
    void FailNextOpen(int code, const std::string& message);
    // Every write fails with this code and message (the device has gone away), until
    // called with code 0.
    void FailWrites(int code, const std::string& message) {
        writeFailCode_ = code;
        writeFailMessage_ = message;
    }
    // The port is shutting down: GetChar gives 0, writes do nothing.
    bool Closing = false;
    size_t OutputBufferSize = 8192;
    // Property changes in order, e.g. "Baud=9600", "Open=1".
    std::vector<std::string> Changes;
    size_t Unread() const { return input_.size(); }
    // Network events: the connection completed; a socket error (a client closes itself
    // after 10052, 10053, 10054 and 10061); the peer closed.
    void Connect();
    void Error(int code);
    void PeerClose();

    // ---- the contract ----
    bool GetOpen() const override { return open_; }
    void SetOpen(bool open) override;
    uint16_t GetComNumber() const override { return comNumber_; }
    void SetComNumber(uint16_t n) override;
    int32_t GetBaud() const override { return baud_; }
    void SetBaud(int32_t b) override;
    port::TParity GetParity() const override { return parity_; }
    void SetParity(port::TParity p) override;
    uint16_t GetDataBits() const override { return dataBits_; }
    void SetDataBits(uint16_t b) override;
    uint16_t GetStopBits() const override { return stopBits_; }
    void SetStopBits(uint16_t b) override;
    char GetChar() override;
    void PutString(const std::string& text) override;
    void PutBlock(const void* block, uint16_t length) override;
    std::string GetWsAddress() const override { return address_; }
    void SetWsAddress(const std::string& a) override;
    std::string GetWsPort() const override { return port_; }
    void SetWsPort(const std::string& p) override;
    port::TWsMode GetWsMode() const override { return mode_; }
    void SetWsMode(port::TWsMode m) override;

  private:
    void Close();

    winsys::EventLoop& loop_;
    std::deque<char> input_;
    std::string written_;
    bool open_ = false;
    bool connected_ = false;
    int failCode_ = 0;
    std::string failMessage_;
    int writeFailCode_ = 0;
    std::string writeFailMessage_;
    uint16_t comNumber_ = 0;
    int32_t baud_ = 19200;
    port::TParity parity_ = port::pNone;
    uint16_t dataBits_ = 8, stopBits_ = 1;
    std::string address_, port_ = "2101";
    port::TWsMode mode_ = port::wsClient;
};

} // namespace fakes
