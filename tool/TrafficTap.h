#pragma once
// The traffic of the two ports as the main window exchanges it: every block the
// handlers write and every batch of bytes a receive handler takes, with the time and
// the port it passed, published to observers (the session's traffic log, the facts of
// the commissioning report). The monitor shows the same bytes but is cleared; what is
// published here is the line itself.
//
// TMainForm wraps each of its port components in a tapped port: the wrapper forwards
// every call and event unchanged (handlers see the wrapper as their port) and
// publishes a Sent event for each PutString/PutBlock that the port accepted and one
// Received event per data-available notification with the bytes the handler took.
// Window thread only.
#include "port/ComPortInterface.h"
#include "tool/LocalTime.h"

#include <functional>
#include <map>
#include <string>

namespace tool {

enum class TrafficDirection { Sent, Received };

struct TrafficEvent {
    WallTime Time;
    std::string Port; // "COM3 (/dev/pts/4)" or "127.0.0.1:2101", as it was opened
    TrafficDirection Direction = TrafficDirection::Sent;
    std::string Bytes;
};

class TrafficTap {
  public:
    using Observer = std::function<void(const TrafficEvent&)>;
    int AddObserver(Observer observer);
    void RemoveObserver(int id);
    void Publish(const TrafficEvent& event);
    WallClock Clock = SystemWallTime;

  private:
    std::map<int, Observer> observers_;
    int next_ = 1;
};

// Forwarding of the common port contract; Describe names the port in the events.
template <class Interface> class TappedPortBase : public Interface {
  public:
    bool GetOpen() const override { return inner_.GetOpen(); }
    void SetOpen(bool open) override;
    uint16_t GetComNumber() const override { return inner_.GetComNumber(); }
    void SetComNumber(uint16_t n) override { inner_.SetComNumber(n); }
    int32_t GetBaud() const override { return inner_.GetBaud(); }
    void SetBaud(int32_t b) override { inner_.SetBaud(b); }
    port::TParity GetParity() const override { return inner_.GetParity(); }
    void SetParity(port::TParity p) override { inner_.SetParity(p); }
    uint16_t GetDataBits() const override { return inner_.GetDataBits(); }
    void SetDataBits(uint16_t b) override { inner_.SetDataBits(b); }
    uint16_t GetStopBits() const override { return inner_.GetStopBits(); }
    void SetStopBits(uint16_t b) override { inner_.SetStopBits(b); }
    char GetChar() override;
    void PutString(const std::string& text) override;
    void PutBlock(const void* block, uint16_t length) override;

    // The port's name as it was last opened (its current settings before that).
    const std::string& Name() const { return name_; }

  protected:
    TappedPortBase(Interface& inner, TrafficTap& tap);
    virtual std::string Describe() const = 0;
    Interface& inner_;

  private:
    void Publish(TrafficDirection direction, std::string bytes);
    void Received(uint16_t count);

    TrafficTap& tap_;
    std::string name_;
    bool collecting_ = false;
    std::string taken_;
};

class TappedComPort final : public TappedPortBase<port::IComPort> {
  public:
    TappedComPort(port::IComPort& inner, TrafficTap& tap) : TappedPortBase(inner, tap) {}

  private:
    std::string Describe() const override;
};

class TappedWinsockPort final : public TappedPortBase<port::IWinsockPort> {
  public:
    TappedWinsockPort(port::IWinsockPort& inner, TrafficTap& tap);
    std::string GetWsAddress() const override { return inner_.GetWsAddress(); }
    void SetWsAddress(const std::string& a) override { inner_.SetWsAddress(a); }
    std::string GetWsPort() const override { return inner_.GetWsPort(); }
    void SetWsPort(const std::string& p) override { inner_.SetWsPort(p); }
    port::TWsMode GetWsMode() const override { return inner_.GetWsMode(); }
    void SetWsMode(port::TWsMode m) override { inner_.SetWsMode(m); }

  private:
    std::string Describe() const override;
};

// "COM3 (/dev/pts/4)"; "COM3" alone when the number maps to no device or to the
// system's own device of that name (Windows's "\\.\COM3").
std::string SerialPortName(unsigned comNumber);

// The name a tapped port publishes (see TappedPortBase::Name), or "" for another port.
std::string TappedPortName(const port::IComPort* port);

} // namespace tool
