#pragma once
// The Modbus requests that wait for their replies, and the completion of received
// bytes into readings: every reply is judged against the request it answers and
// shown in that request's place (its grid row, or Edit20 for a manual read).
//
// Which request a reply answers: in Modbus TCP the one with its transaction
// identifier; in RTU the last request sent before the reply's first byte arrived.
// Several replies completed together are split at the lengths their headers give and
// each goes to its own request. A reply that answers no request still waiting is
// only shown in the monitor. A request with no byte of a reply by the time the next
// request is sent, or within NoReplyMs, is completed as "no reply".
//
// Window thread only.
#include "tool/Readings.h"
#include "winsys/EventLoop.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace tool {

class TMainForm;

class TExchanges {
  public:
    explicit TExchanges(TMainForm& form);
    ~TExchanges();
    TExchanges(const TExchanges&) = delete;
    TExchanges& operator=(const TExchanges&) = delete;

    // A request is about to be written; `asked` says what it reads and where the value
    // goes, with its bytes in Request. Counts it, and completes as "no reply" the
    // requests still waiting without a byte of a reply.
    void Sending(TReading asked, bool modbusTcp);
    // A data-available event is about to store its bytes at RxBuffer[offset].
    void Arriving(size_t offset);
    // Completes the Modbus replies in `bytes` (RxBuffer's received bytes): each is
    // rendered into the monitor and, when it answers a request still waiting, judged
    // and shown. Returns how many bytes at the end belong to a reply whose first byte
    // came less than a completion period ago and which is not whole yet: they stay
    // for the next completion.
    size_t Complete(std::span<const uint8_t> bytes, bool modbusTcp);
    // The received bytes went to the monitor as text (configuration or meter replies):
    // they answer no request, which then waits for its own reply or its deadline.
    void ShownAsText();
    // The requests waiting for their reply.
    size_t Waiting() const { return waiting_.size(); }

    // How long the completion waits after the first byte of a reply.
    static constexpr int64_t CompletionMs = 250;

  private:
    struct Request {
        uint64_t id;
        TReading reading;
        bool modbusTcp;
        int64_t sentMs;
        bool superseded = false; // a later request has been sent
        bool replyBytes = false; // bytes have come that may be its reply
        winsys::EventLoop::TimerId deadline = 0;
    };
    struct Arrival {
        size_t offset;
        uint64_t newestId; // the last request sent when these bytes came
        int64_t ms;
    };

    Request* Find(uint64_t id);
    Request* Owner(std::span<const uint8_t> reply, size_t offset, bool modbusTcp);
    const Arrival* ArrivalAt(size_t offset) const;
    void Finish(uint64_t id, TOutcome outcome, std::span<const uint8_t> reply);
    void SettleUnanswered();
    void TakeHandedOverBytes();

    TMainForm& form_;
    std::deque<Request> waiting_;
    std::vector<Arrival> arrivals_;
    uint64_t nextId_ = 1;
    uint64_t newestId_ = 0;
};

} // namespace tool
