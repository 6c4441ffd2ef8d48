#include "port/Socks.h"

#include "port/ByteOrder.h"

#include <algorithm>

namespace port {

namespace {

void PutPort(std::vector<uint8_t>& Out, uint16_t Port) {
    Out.push_back(static_cast<uint8_t>(Port >> 8));
    Out.push_back(static_cast<uint8_t>(Port & 0xFF));
}

void PutAddress(std::vector<uint8_t>& Out, TInAddr Addr) {
    for (int i = 0; i < 4; ++i)
        Out.push_back(Addr.Byte(i));
}

// A zero-terminated field: the text up to its first zero, then the zero.
void PutZString(std::vector<uint8_t>& Out, const std::string& Text) {
    for (char c : Text) {
        if (c == '\0') break;
        Out.push_back(static_cast<uint8_t>(c));
    }
    Out.push_back(0);
}

// A field with a one-byte length: longer texts are cut to 255 bytes so the length byte
// always tells the truth.
void PutLString(std::vector<uint8_t>& Out, const std::string& Text) {
    size_t n = std::min<size_t>(Text.size(), 255);
    Out.push_back(static_cast<uint8_t>(n));
    Out.insert(Out.end(), Text.begin(), Text.begin() + static_cast<std::ptrdiff_t>(n));
}

} // namespace

TSocksNegotiation::TSocksNegotiation(TSocksRequest Request) : Req(std::move(Request)) {}

std::vector<uint8_t> TSocksNegotiation::Start() {
    Reply.clear();
    Error = 0;
    if (Req.Version == svSocks4 || Req.Version == svSocks4a) {
        Step = Socks4Reply;
        Want = 8;
        return Socks4Request();
    }
    if (Req.Version == svSocks5) {
        Step = MethodReply;
        Want = 2;
        return {5, 2, 0, 2}; // version 5, two methods: none and user name/password
    }
    Finish(9011); // no proxy version: nothing to negotiate
    return {};
}

std::vector<uint8_t> TSocksNegotiation::Socks4Request() const {
    std::vector<uint8_t> r;
    r.reserve(10 + Req.UserCode.size() + Req.Name.size());
    r.push_back(4); // version
    r.push_back(1); // CONNECT
    PutPort(r, Req.Port);
    if (Req.Version == svSocks4a) {
        PutAddress(r, TInAddr{HostToNet32(1)}); // 0.0.0.1: the name follows
        PutZString(r, Req.UserCode);
        PutZString(r, Req.Name);
    } else {
        PutAddress(r, Req.Address);
        PutZString(r, Req.UserCode);
    }
    return r;
}

std::vector<uint8_t> TSocksNegotiation::Socks5Auth() const {
    std::vector<uint8_t> r{1};
    PutLString(r, Req.UserCode);
    PutLString(r, Req.Password);
    return r;
}

std::vector<uint8_t> TSocksNegotiation::Socks5Connect() const {
    std::vector<uint8_t> r;
    r.reserve(10);
    for (uint8_t b : {5, 1, 0, 1})
        r.push_back(b); // version, CONNECT, reserved, IPv4
    PutAddress(r, Req.Address);
    PutPort(r, Req.Port);
    return r;
}

size_t TSocksNegotiation::Needed() const {
    return Done() ? 0 : Want - Reply.size();
}

size_t TSocksNegotiation::Feed(std::span<const uint8_t> Data, std::vector<uint8_t>& Send) {
    size_t taken = 0;
    while (!Done() && Step != Initial && taken < Data.size()) {
        size_t n = std::min(Needed(), Data.size() - taken);
        Reply.insert(Reply.end(), Data.begin() + static_cast<std::ptrdiff_t>(taken),
                     Data.begin() + static_cast<std::ptrdiff_t>(taken + n));
        taken += n;
        if (Reply.size() == Want) Complete(Send);
    }
    return taken;
}

void TSocksNegotiation::Complete(std::vector<uint8_t>& Send) {
    std::vector<uint8_t> r;
    r.swap(Reply);
    switch (Step) {
    case Socks4Reply:
        switch (r[1]) {
        case 90:
            Finish(0);
            break;
        case 91:
            Finish(9008);
            break;
        case 92:
            Finish(9009);
            break;
        case 93:
            Finish(9010);
            break;
        default:
            Finish(9011);
            break;
        }
        break;
    case MethodReply:
        if (r[1] == 0) {
            Step = ConnectHead;
            Want = 5;
            auto c = Socks5Connect();
            Send.insert(Send.end(), c.begin(), c.end());
        } else if (r[1] == 2) {
            Step = AuthReply;
            Want = 2;
            auto a = Socks5Auth();
            Send.insert(Send.end(), a.begin(), a.end());
        } else {
            Finish(9011);
        }
        break;
    case AuthReply:
        if (r[1] == 0) {
            Step = ConnectHead;
            Want = 5;
            auto c = Socks5Connect();
            Send.insert(Send.end(), c.begin(), c.end());
        } else {
            Finish(9011);
        }
        break;
    case ConnectHead:
        if (r[1] != 0) {
            Finish(r[1] <= 8 ? 9011 + r[1] : 9011);
        } else if (r[3] == 1) {
            Step = ConnectTail;
            Want = 5; // the other 3 address bytes and the port
        } else if (r[3] == 3) {
            Step = ConnectTail;
            Want = static_cast<size_t>(r[4]) + 2; // the name after its length byte, and the port
        } else {
            Finish(r[3] == 4 ? 9020 : 9021);
        }
        break;
    case ConnectTail:
        Finish(0);
        break;
    default:
        break;
    }
}

void TSocksNegotiation::Finish(int Code) {
    Error = Code;
    Step = Finished;
    Want = 0;
    Reply.clear();
}

} // namespace port
