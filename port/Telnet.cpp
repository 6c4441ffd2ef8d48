#include "port/Telnet.h"

#include <algorithm>
#include <cstring>

namespace port {

namespace {

constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;

} // namespace

TTelnetFilter::TResult TTelnetFilter::Filter(std::span<const uint8_t> In, std::span<uint8_t> Out) {
    size_t i = 0, o = 0;
    while (i < In.size()) {
        uint8_t b = In[i];
        switch (State) {
        case AfterCr:
            State = Data;
            if (b == 0) { // CR NUL is CR alone
                ++i;
                continue;
            }
            continue; // anything else is looked at afresh
        case Data: {
            // Plain bytes up to the next special one go across in one block.
            bool crSpecial = BinaryOpt != tnoTrue;
            size_t end = i;
            while (end < In.size() && In[end] != TelnetIAC && !(crSpecial && In[end] == CR))
                ++end;
            size_t n = std::min(end - i, Out.size() - o);
            if (n) {
                std::memcpy(Out.data() + o, In.data() + i, n);
                i += n;
                o += n;
            }
            if (i < end) return {i, o}; // Out is full
            if (i == In.size()) break;
            if (In[i] == TelnetIAC) {
                State = Iac;
                ++i;
            } else { // CR while binary is off
                if (o == Out.size()) return {i, o};
                Out[o++] = CR;
                ++i;
                State = AfterCr;
            }
            continue;
        }
        case Iac:
            if (b == TelnetIAC) {
                if (o == Out.size()) return {i, o};
                Out[o++] = TelnetIAC;
                State = Data;
            } else if (b == TelnetSB) {
                State = SbFirst;
            } else if (b == TelnetWILL || b == TelnetWONT || b == TelnetDO || b == TelnetDONT) {
                Command = b;
                State = Option;
            } else {
                Log(TTelnetLogKind::Command, b);
                State = Data;
            }
            ++i;
            continue;
        case Option:
            HandleCommand(Command, b);
            State = Data;
            ++i;
            continue;
        case SbFirst:
            SbTerminal = b == TelnetOptTermType;
            State = b == TelnetIAC ? SbIac : SbData;
            ++i;
            continue;
        case SbData:
            if (b == TelnetIAC) State = SbIac;
            ++i;
            continue;
        case SbIac:
            // The subnegotiation ends at the first IAC SE; IAC IAC may precede it.
            if (b == TelnetSE) {
                if (SbTerminal) SendTerminal();
                SbTerminal = false;
                State = Data;
            } else if (b != TelnetIAC) {
                State = SbData;
            }
            ++i;
            continue;
        }
    }
    return {i, o};
}

void TTelnetFilter::HandleCommand(uint8_t Cmd, uint8_t Opt) {
    switch (Cmd) {
    case TelnetWILL:
        Log(TTelnetLogKind::RWill, Opt);
        if (Opt == TelnetOptBinary) {
            Send(TTelnetLogKind::SDo, TelnetDO, Opt);
            BinaryOpt = tnoTrue;
        } else if (Opt == TelnetOptEcho || Opt == TelnetOptSga) {
            Send(TTelnetLogKind::SDo, TelnetDO, Opt);
        } else {
            Send(TTelnetLogKind::SDont, TelnetDONT, Opt);
        }
        break;
    case TelnetWONT:
        Log(TTelnetLogKind::RWont, Opt);
        Send(TTelnetLogKind::SDont, TelnetDONT, Opt);
        if (Opt == TelnetOptBinary) BinaryOpt = tnoFalse;
        if (Opt == TelnetOptEcho) EchoOpt = tnoFalse;
        if (Opt == TelnetOptSga) SgaOpt = tnoFalse;
        break;
    case TelnetDO:
        Log(TTelnetLogKind::RDo, Opt);
        if (Opt == TelnetOptBinary) {
            Send(TTelnetLogKind::SWill, TelnetWILL, Opt);
            BinaryOpt = tnoTrue;
        } else if (Opt == TelnetOptSga) {
            if (SgaOpt == tnoTrue)
                Send(TTelnetLogKind::SWill, TelnetWILL, Opt);
            else
                Send(TTelnetLogKind::SWont, TelnetWONT, Opt);
        } else if (Opt == TelnetOptTermType) {
            Send(TTelnetLogKind::SWill, TelnetWILL, Opt);
        } else {
            Send(TTelnetLogKind::SWont, TelnetWONT, Opt);
        }
        break;
    case TelnetDONT:
        Log(TTelnetLogKind::RDont, Opt);
        Send(TTelnetLogKind::SWont, TelnetWONT, Opt);
        if (Opt == TelnetOptBinary) BinaryOpt = tnoFalse;
        if (Opt == TelnetOptSga) SgaOpt = tnoFalse;
        break;
    default:
        break;
    }
}

void TTelnetFilter::Send(TTelnetLogKind Kind, uint8_t Cmd, uint8_t Opt) {
    Replies.insert(Replies.end(), {TelnetIAC, Cmd, Opt});
    Log(Kind, Opt);
}

void TTelnetFilter::SendTerminal() {
    Replies.insert(Replies.end(), {TelnetIAC, TelnetSB, TelnetOptTermType, 0});
    Replies.insert(Replies.end(), TermType.begin(), TermType.end());
    Replies.insert(Replies.end(), {TelnetIAC, TelnetSE});
    Log(TTelnetLogKind::STerm, 0);
}

void TTelnetFilter::Log(TTelnetLogKind Kind, uint8_t Data) {
    if (Logging) LogEntries.push_back({Kind, Data});
}

std::vector<uint8_t> TTelnetFilter::TakeReplies() {
    std::vector<uint8_t> r;
    r.swap(Replies);
    return r;
}

std::vector<TTelnetLogEntry> TTelnetFilter::TakeLog() {
    std::vector<TTelnetLogEntry> r;
    r.swap(LogEntries);
    return r;
}

void TTelnetFilter::ForgetPartial() {
    State = Data;
    Command = 0;
    SbTerminal = false;
}

void TTelnetFilter::Reset() {
    State = Data;
    Command = 0;
    SbTerminal = false;
    BinaryOpt = SgaOpt = EchoOpt = tnoFalse;
    Replies.clear();
    LogEntries.clear();
}

TTelnetEscapeResult TelnetEscape(std::span<const uint8_t> In, TTelnetOpt BinaryOpt,
                                 std::span<uint8_t> Out) {
    size_t i = 0, o = 0;
    bool crSpecial = BinaryOpt != tnoTrue;
    while (i < In.size()) {
        uint8_t b = In[i];
        if (b == TelnetIAC || (crSpecial && b == CR && !(i + 1 < In.size() && In[i + 1] == LF))) {
            if (Out.size() - o < 2) break;
            Out[o++] = b;
            Out[o++] = b == TelnetIAC ? TelnetIAC : 0;
        } else {
            if (o == Out.size()) break;
            Out[o++] = b;
        }
        ++i;
    }
    return {i, o};
}

} // namespace port
