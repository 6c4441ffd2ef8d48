#include "tool/Exchanges.h"

#include "tool/ReplyDecoding.h"
#include "tool/ReplyJudging.h"
#include "tool/Unit1.h"
#include "winsys/Application.h"

#include <algorithm>

namespace tool {

TExchanges::TExchanges(TMainForm& form) : form_(form) {}

TExchanges::~TExchanges() {
    for (Request& r : waiting_)
        if (r.deadline) form_.Loop().StopTimer(r.deadline);
}

TExchanges::Request* TExchanges::Find(uint64_t id) {
    for (Request& r : waiting_)
        if (r.id == id) return &r;
    return nullptr;
}

void TExchanges::TakeHandedOverBytes() {
    // A port thread may be waiting to hand over bytes that came while the window
    // thread was held (a long RCI exchange): they count before a reply is missed.
    form_.Loop().ServeSentMessages();
}

void TExchanges::Sending(TReading asked, bool modbusTcp) {
    TakeHandedOverBytes();
    for (Request& r : waiting_)
        r.superseded = true;
    uint64_t id = nextId_++;
    newestId_ = id;
    Request request{id, std::move(asked), modbusTcp, form_.Loop().GetClock().NowMs()};
    request.deadline = form_.Loop().StartTimer(NoReplyMs, [this, id] {
        if (Request* r = Find(id)) {
            form_.Loop().StopTimer(r->deadline);
            r->deadline = 0;
        }
        TakeHandedOverBytes();
        SettleUnanswered();
    });
    waiting_.push_back(std::move(request));
    ++form_.Counters.Requests;
    form_.NotifyCountersChanged();
    SettleUnanswered();
}

void TExchanges::Arriving(size_t offset) {
    arrivals_.push_back({offset, newestId_, form_.Loop().GetClock().NowMs()});
    // In RTU only the newest request can own bytes that start now; in Modbus TCP any
    // waiting request may, until the transaction identifier is read at completion.
    for (Request& r : waiting_)
        if (r.modbusTcp || r.id == newestId_) r.replyBytes = true;
}

const TExchanges::Arrival* TExchanges::ArrivalAt(size_t offset) const {
    const Arrival* found = nullptr;
    for (const Arrival& a : arrivals_)
        if (a.offset <= offset) found = &a;
    return found;
}

TExchanges::Request* TExchanges::Owner(std::span<const uint8_t> reply, size_t offset,
                                       bool modbusTcp) {
    if (modbusTcp) {
        std::optional<uint16_t> transaction = ReplyTransaction(reply);
        if (!transaction) return nullptr;
        for (Request& r : waiting_) {
            const std::vector<uint8_t>& q = r.reading.Request;
            if (r.modbusTcp && q.size() >= 2 && (q[0] << 8 | q[1]) == *transaction) return &r;
        }
        return nullptr;
    }
    const Arrival* arrival = ArrivalAt(offset);
    Request* r = arrival ? Find(arrival->newestId) : nullptr;
    return r && !r->modbusTcp ? r : nullptr;
}

size_t TExchanges::Complete(std::span<const uint8_t> bytes, bool modbusTcp) {
    int64_t now = form_.Loop().GetClock().NowMs();
    size_t pos = 0;
    while (pos < bytes.size()) {
        std::span<const uint8_t> rest = bytes.subspan(pos);
        size_t length = ReplyFrameLength(rest, modbusTcp);
        if (length > rest.size()) {
            // The event that brought its first byte may also have brought the end of
            // the reply before it.
            const Arrival* arrival = ArrivalAt(pos);
            if (pos > 0 && arrival && now - arrival->ms < CompletionMs)
                break; // the next reply has only begun: it gets its own completion
            length = rest.size();
        }
        std::span<const uint8_t> reply = rest.first(length);
        form_.Memo2.AppendText(RenderReplyHex(reply));
        form_.Memo2.CaretToEnd();
        if (Request* r = Owner(reply, pos, modbusTcp))
            Finish(r->id, JudgeReply(reply, r->reading.Request, modbusTcp), reply);
        pos += length;
    }
    size_t kept = bytes.size() - pos;
    uint64_t keptOwner = 0;
    std::vector<Arrival> keptArrivals;
    if (kept) {
        // The kept bytes move to the buffer's start, with the arrival of their first
        // byte and those that came after it.
        const Arrival& first = *ArrivalAt(pos);
        keptOwner = first.newestId;
        keptArrivals.push_back({0, first.newestId, first.ms});
        for (const Arrival& a : arrivals_)
            if (a.offset > pos) keptArrivals.push_back({a.offset - pos, a.newestId, a.ms});
    }
    arrivals_ = std::move(keptArrivals);
    // Bytes that turned out to be no reply of theirs do not keep requests waiting.
    for (Request& r : waiting_)
        r.replyBytes = kept && (r.modbusTcp || r.id == keptOwner);
    SettleUnanswered();
    return kept;
}

void TExchanges::ShownAsText() {
    arrivals_.clear();
    for (Request& r : waiting_)
        r.replyBytes = false;
    SettleUnanswered();
}

void TExchanges::SettleUnanswered() {
    int64_t now = form_.Loop().GetClock().NowMs();
    std::vector<uint64_t> unanswered;
    for (const Request& r : waiting_)
        if (!r.replyBytes && (r.superseded || now - r.sentMs >= NoReplyMs))
            unanswered.push_back(r.id);
    for (uint64_t id : unanswered)
        Finish(id, {TOutcomeKind::NoReply, 0}, {});
}

void TExchanges::Finish(uint64_t id, TOutcome outcome, std::span<const uint8_t> reply) {
    auto it = std::find_if(waiting_.begin(), waiting_.end(),
                           [id](const Request& r) { return r.id == id; });
    if (it == waiting_.end()) return;
    Request request = std::move(*it);
    waiting_.erase(it);
    if (request.deadline) form_.Loop().StopTimer(request.deadline);

    TReading& reading = request.reading;
    reading.Outcome = outcome;
    reading.Reply.assign(reply.begin(), reply.end());
    reading.ValueText = outcome.IsGood() ? DecodeValue(reply, request.modbusTcp, reading.Type)
                                         : OutcomeText(outcome);
    reading.CompletedMs = form_.Loop().GetClock().NowMs();
    reading.CompletedAt = std::chrono::system_clock::now();
    form_.ValueType = static_cast<uint8_t>(reading.Type);
    // A newer request for the same place has blanked it for its own value; an older
    // one's missing reply does not take its place.
    bool placeTaken = std::any_of(waiting_.begin(), waiting_.end(), [&](const Request& r) {
        return r.id > id && r.reading.Target == reading.Target && r.reading.Row == reading.Row;
    });
    if (!(placeTaken && outcome.Kind == TOutcomeKind::NoReply)) form_.ShowReading(reading);
    if (outcome.IsGood()) winsys::ReportSuccess();
    form_.Counters.Count(outcome);
    form_.NotifyCountersChanged();
    for (auto& observer : form_.ReadingObservers)
        if (observer) observer(reading);
}

} // namespace tool
