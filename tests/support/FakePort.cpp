#include "FakePort.h"

namespace fakes {

void FakePort::Deliver(const std::string& bytes) {
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    loop_.PostTask([this] {
        if (!input_.empty() && OnTriggerAvail)
            OnTriggerAvail(this, static_cast<uint16_t>(input_.size()));
    });
}

std::string FakePort::TakeWritten() {
    std::string w;
    w.swap(written_);
    return w;
}

void FakePort::FailNextOpen(int code, const std::string& message) {
    failCode_ = code;
    failMessage_ = message;
}

void FakePort::SetOpen(bool open) {
    if (open == open_) return;
    Changes.push_back(std::string("Open=") + (open ? "1" : "0"));
    if (!open) {
        Close();
        return;
    }
    if (failCode_ != 0) {
        int code = failCode_;
        failCode_ = 0;
        throw FakePortError(code, failMessage_);
    }
    open_ = true;
}

void FakePort::Close() {
    bool wasConnected = connected_;
    open_ = false;
    connected_ = false;
    input_.clear();
    if (wasConnected && OnWsDisconnect) OnWsDisconnect(this);
}

void FakePort::Connect() {
    connected_ = true;
    if (OnWsConnect) OnWsConnect(this);
}

void FakePort::Error(int code) {
    if (OnWsError) OnWsError(this, code);
    if (code == 10052 || code == 10053 || code == 10054 || code == 10061) Close();
}

void FakePort::PeerClose() {
    Close();
}

void FakePort::SetComNumber(uint16_t n) {
    comNumber_ = n;
    Changes.push_back("ComNumber=" + std::to_string(n));
}
void FakePort::SetBaud(int32_t b) {
    baud_ = b;
    Changes.push_back("Baud=" + std::to_string(b));
}
void FakePort::SetParity(port::TParity p) {
    parity_ = p;
    Changes.push_back("Parity=" + std::to_string(p));
}
void FakePort::SetDataBits(uint16_t b) {
    dataBits_ = b;
    Changes.push_back("DataBits=" + std::to_string(b));
}
void FakePort::SetStopBits(uint16_t b) {
    stopBits_ = b;
    Changes.push_back("StopBits=" + std::to_string(b));
}
void FakePort::SetWsAddress(const std::string& a) {
    address_ = a;
    Changes.push_back("WsAddress=" + a);
}
void FakePort::SetWsPort(const std::string& p) {
    port_ = p;
    Changes.push_back("WsPort=" + p);
}
void FakePort::SetWsMode(port::TWsMode m) {
    mode_ = m;
    Changes.push_back("WsMode=" + std::to_string(m));
}

char FakePort::GetChar() {
    if (Closing) return 0;
    if (input_.empty()) throw FakePortError(-3007, "Buffer is empty");
    char c = input_.front();
    input_.pop_front();
    return c;
}

void FakePort::PutString(const std::string& text) {
    PutBlock(text.data(), static_cast<uint16_t>(text.size()));
}

void FakePort::PutBlock(const void* block, uint16_t length) {
    if (Closing || length == 0) return;
    if (length > OutputBufferSize) throw FakePortError(-3006, "Output buffer too small for block");
    if (writeFailCode_) throw FakePortError(writeFailCode_, writeFailMessage_);
    written_.append(static_cast<const char*>(block), length);
}

} // namespace fakes
