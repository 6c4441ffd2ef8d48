#include "tool/TrafficTap.h"

#include "port/ComMapping.h"

namespace tool {

int TrafficTap::AddObserver(Observer observer) {
    observers_[next_] = std::move(observer);
    return next_++;
}

void TrafficTap::RemoveObserver(int id) {
    observers_.erase(id);
}

void TrafficTap::Publish(const TrafficEvent& event) {
    // An observer may remove itself (a log that failed); walk a copy.
    auto observers = observers_;
    for (auto& [id, observer] : observers)
        observer(event);
}

template <class Interface>
TappedPortBase<Interface>::TappedPortBase(Interface& inner, TrafficTap& tap)
    : inner_(inner), tap_(tap) {
    inner_.OnTriggerAvail = [this](port::IComPort*, uint16_t count) { Received(count); };
}

template <class Interface> void TappedPortBase<Interface>::SetOpen(bool open) {
    inner_.SetOpen(open);
    if (open && inner_.GetOpen()) name_ = Describe();
}

template <class Interface> void TappedPortBase<Interface>::Received(uint16_t count) {
    collecting_ = true;
    taken_.clear();
    struct Flush {
        TappedPortBase* port;
        ~Flush() {
            port->collecting_ = false;
            if (!port->taken_.empty())
                port->Publish(TrafficDirection::Received, std::move(port->taken_));
            port->taken_.clear();
        }
    } flush{this};
    if (this->OnTriggerAvail) this->OnTriggerAvail(this, count);
}

template <class Interface> char TappedPortBase<Interface>::GetChar() {
    char c = inner_.GetChar();
    if (collecting_)
        taken_ += c;
    else
        Publish(TrafficDirection::Received, std::string(1, c));
    return c;
}

template <class Interface> void TappedPortBase<Interface>::PutString(const std::string& text) {
    inner_.PutString(text);
    if (!text.empty()) Publish(TrafficDirection::Sent, text);
}

template <class Interface>
void TappedPortBase<Interface>::PutBlock(const void* block, uint16_t length) {
    inner_.PutBlock(block, length);
    if (length)
        Publish(TrafficDirection::Sent, std::string(static_cast<const char*>(block), length));
}

template <class Interface>
void TappedPortBase<Interface>::Publish(TrafficDirection direction, std::string bytes) {
    if (name_.empty()) name_ = Describe();
    tap_.Publish(TrafficEvent{tap_.Clock(), name_, direction, std::move(bytes)});
}

template class TappedPortBase<port::IComPort>;
template class TappedPortBase<port::IWinsockPort>;

std::string SerialPortName(unsigned comNumber) {
    std::string name = "COM" + std::to_string(comNumber);
    std::string device = port::ComDevicePath(comNumber);
    return device.empty() || device == "\\\\.\\" + name ? name : name + " (" + device + ")";
}

std::string TappedComPort::Describe() const {
    return SerialPortName(inner_.GetComNumber());
}

TappedWinsockPort::TappedWinsockPort(port::IWinsockPort& inner, TrafficTap& tap)
    : TappedPortBase(inner, tap) {
    inner.OnWsConnect = [this](port::IComPort*) {
        if (OnWsConnect) OnWsConnect(this);
    };
    inner.OnWsDisconnect = [this](port::IComPort*) {
        if (OnWsDisconnect) OnWsDisconnect(this);
    };
    inner.OnWsError = [this](port::IComPort*, int32_t code) {
        if (OnWsError) OnWsError(this, code);
    };
}

std::string TappedWinsockPort::Describe() const {
    return inner_.GetWsAddress() + ":" + inner_.GetWsPort();
}

std::string TappedPortName(const port::IComPort* port) {
    if (auto* serial = dynamic_cast<const TappedPortBase<port::IComPort>*>(port))
        return serial->Name();
    if (auto* network = dynamic_cast<const TappedPortBase<port::IWinsockPort>*>(port))
        return network->Name();
    return {};
}

} // namespace tool
