#pragma once
// What the window learns from each Modbus exchange: the outcome of a reply judged
// against the request it answers, the record of one completed reading, the counters
// of the exchanges since a port opened, and the observers that other parts of the
// tool attach to follow every completed reading.
//
// A reading is completed once: when its reply has been judged (good or bad), or as
// "no reply" when no byte of a reply came by the time the next request was sent or
// within NoReplyMs. Window thread only.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tool {

enum class TOutcomeKind {
    Good,          // the value was decoded
    Exception,     // an exception reply; Code is the exception code
    CrcError,      // an RTU reply whose CRC is wrong
    WrongSlave,    // another slave address or unit identifier; Code is the one received
    WrongFunction, // another function code; Code is the one received
    BadLength,     // byte count not matching the quantity, or fewer bytes than announced
    NoReply,       // no byte of a reply in time
};

struct TOutcome {
    TOutcomeKind Kind = TOutcomeKind::Good;
    uint8_t Code = 0;

    bool IsGood() const { return Kind == TOutcomeKind::Good; }
    friend bool operator==(const TOutcome&, const TOutcome&) = default;
};

// The text the operator sees in place of a value for a bad outcome, with NN two
// upper-case hexadecimal digits: "exception 02: illegal data address" (other codes
// than the standard ones "exception NN"), "CRC error", "wrong slave 0B",
// "wrong function 04", "bad length", "no reply". "good" for a good outcome.
std::string OutcomeText(const TOutcome& outcome);

// The standard name of an exception code ("illegal data address" for 2), or "" for a
// code without one.
const char* ExceptionName(uint8_t code);

// A request with no byte of a reply this long after it was sent has no reply.
constexpr int64_t NoReplyMs = 1000;

enum class TReadingTarget {
    GridRow,    // a row of the readings grid StringGrid3 (polling, single shot)
    ManualRead, // the manual read of the monitor page, shown in Edit20
};

// One completed reading, as it was asked for and as it ended.
struct TReading {
    TReadingTarget Target = TReadingTarget::GridRow;
    int Row = 0;           // the grid row; 0 for a manual read
    uint16_t Address = 0;  // the register address as the row or ComboBox2 gives it
    char Type = 0;         // the type letter the value is decoded by
    uint16_t Count = 0;    // the register quantity requested
    std::string Obis;      // the row's OBIS code ("" for a manual read)
    std::string Note;      // the row's note ("" for a manual read)
    std::string ValueText; // what the target shows: the value, or OutcomeText
    TOutcome Outcome;
    std::vector<uint8_t> Request; // the bytes sent
    std::vector<uint8_t> Reply;   // the bytes taken as its reply (empty for no reply)
    int64_t CompletedMs = 0;      // the window loop's clock (injectable in tests)
    std::chrono::system_clock::time_point CompletedAt; // wall-clock time of completion
};

// Counts of the Modbus exchanges since a port last opened.
struct TExchangeCounters {
    uint32_t Requests = 0;   // requests sent
    uint32_t Good = 0;       // good replies
    uint32_t Exceptions = 0; // exception replies
    uint32_t BadReplies = 0; // CRC error, wrong slave, wrong function, bad length
    uint32_t NoReplies = 0;  // missing replies

    void Count(const TOutcome& outcome);
    friend bool operator==(const TExchangeCounters&, const TExchangeCounters&) = default;
};

// The status bar's field: "Sent 12  Good 10  Exc 1  Bad 0  No reply 1".
std::string CountersText(const TExchangeCounters& counters);
// The runner's form: {"Requests":12,"Good":10,"Exceptions":1,"BadReplies":0,"NoReplies":1}.
std::string CountersJson(const TExchangeCounters& counters);

// Called for each completed reading, after its target shows it and the counters
// include it. Observers must not add or remove observers while being called.
using TReadingObserver = std::function<void(const TReading& reading)>;

} // namespace tool
