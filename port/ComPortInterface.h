#pragma once
// The contract between the tool and its two port components: what the tool's
// handlers use of a serial port and of a network port, and nothing more. The real
// components and the tests' fakes implement it.
//
// What callers rely on:
// - every event runs on the window thread, between other handlers, never inside one;
// - OnTriggerAvail comes each time new bytes arrived and at least one is unread, with
//   Count the number of unread bytes; bytes the handler takes with GetChar leave the
//   input buffer when it returns; bytes left unread are counted again at the next
//   notification, which comes only when further bytes arrive;
// - GetChar raises error -3007 when no byte is unread and returns 0 while the port
//   is being closed;
// - PutString and PutBlock queue the bytes and return at once; bytes that do not fit
//   into the free output buffer are not queued at all and raise -3006; length 0
//   writes nothing; while the port is being closed both do nothing;
// - SetOpen(true) opens or raises; SetOpen(false) closes;
// - failures are raised as the port layer's exceptions carrying code and message.
#include "port/PortMisc.h"

#include <cstdint>
#include <functional>
#include <string>

namespace port {

class IComPort {
  public:
    using TTriggerAvailEvent = std::function<void(IComPort* CP, uint16_t Count)>;

    virtual ~IComPort() = default;

    virtual bool GetOpen() const = 0;
    virtual void SetOpen(bool open) = 0;

    // Line settings: applied at once while open, else at the next open. The network
    // port accepts and ignores them.
    virtual uint16_t GetComNumber() const = 0;
    virtual void SetComNumber(uint16_t number) = 0;
    virtual int32_t GetBaud() const = 0;
    virtual void SetBaud(int32_t baud) = 0;
    virtual TParity GetParity() const = 0;
    virtual void SetParity(TParity parity) = 0;
    virtual uint16_t GetDataBits() const = 0;
    virtual void SetDataBits(uint16_t bits) = 0;
    virtual uint16_t GetStopBits() const = 0;
    virtual void SetStopBits(uint16_t bits) = 0;

    virtual char GetChar() = 0;
    virtual void PutString(const std::string& text) = 0;
    virtual void PutBlock(const void* block, uint16_t length) = 0;

    TTriggerAvailEvent OnTriggerAvail;
};

class IWinsockPort : public virtual IComPort {
  public:
    using TWsErrorEvent = std::function<void(IComPort* CP, int32_t ErrCode)>;
    using TWsNotifyEvent = std::function<void(IComPort* CP)>;

    virtual std::string GetWsAddress() const = 0;
    virtual void SetWsAddress(const std::string& address) = 0;
    virtual std::string GetWsPort() const = 0;
    virtual void SetWsPort(const std::string& portText) = 0;
    virtual TWsMode GetWsMode() const = 0;
    virtual void SetWsMode(TWsMode mode) = 0;

    // A client's connection completed.
    TWsNotifyEvent OnWsConnect;
    // The end of a close that followed an established connection.
    TWsNotifyEvent OnWsDisconnect;
    // A socket error; after 10052, 10053, 10054 and 10061 a client closes itself
    // right after this event (Open is still true during it).
    TWsErrorEvent OnWsError;
};

} // namespace port
