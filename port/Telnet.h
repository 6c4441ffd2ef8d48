#pragma once
// The telnet processing of the network port's byte stream, as pure code over bytes.
//
// Receiving (TTelnetFilter): commands are taken out of the stream and answered, data
// is delivered. IAC IAC is one data byte 255; IAC SB ... IAC SE is removed (and answered
// with the terminal type when it asks for option 24); IAC WILL/WONT/DO/DONT option is
// removed and answered by the table of HandleCommand; IAC and any other byte is removed;
// while BinaryOpt is not tnoTrue, CR NUL is delivered as CR. A sequence split across
// calls is carried in the filter's state, so any split of the stream gives the same
// result, and a subnegotiation may be of any length.
//
// Sending (TelnetEscape): 255 is doubled and, while binary is off, a CR that is not
// followed by LF within the same block becomes CR NUL.
//
// The filter never starts a negotiation, so its option states hold only tnoFalse or
// tnoTrue. Any thread, one filter per connection.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace port {

enum TTelnetOpt { tnoFalse, tnoTrue };

constexpr uint8_t TelnetIAC = 255;
constexpr uint8_t TelnetDONT = 254;
constexpr uint8_t TelnetDO = 253;
constexpr uint8_t TelnetWONT = 252;
constexpr uint8_t TelnetWILL = 251;
constexpr uint8_t TelnetSB = 250;
constexpr uint8_t TelnetSE = 240;
constexpr uint8_t TelnetOptBinary = 0;
constexpr uint8_t TelnetOptEcho = 1;
constexpr uint8_t TelnetOptSga = 3;
constexpr uint8_t TelnetOptTermType = 24;
constexpr uint8_t TelnetOptTermSpeed = 32;

// What the filter did, for the dispatch log: commands received (RWill ... RDont, with
// the option), replies sent (SWill ... SDont, with the option), other commands
// (Command, with the command byte) and the terminal type sent (STerm).
enum class TTelnetLogKind { SWill, SWont, SDo, SDont, RWill, RWont, RDo, RDont, Command, STerm };
struct TTelnetLogEntry {
    TTelnetLogKind Kind;
    uint8_t Data;
    bool operator==(const TTelnetLogEntry&) const = default;
};

class TTelnetFilter {
  public:
    explicit TTelnetFilter(std::string TermType = "vt100") : TermType(std::move(TermType)) {}

    struct TResult {
        size_t Consumed;  // bytes of In processed (delivered or removed)
        size_t Delivered; // bytes written to Out
    };
    // Processes In in order until it is used up or the next data byte finds Out full.
    // Replies are queued for TakeReplies, log entries for TakeLog.
    TResult Filter(std::span<const uint8_t> In, std::span<uint8_t> Out);

    // The bytes to send to the peer straight away (they bypass the transmit ring), in
    // the order the commands arrived; the queue is emptied.
    std::vector<uint8_t> TakeReplies();
    bool HasReplies() const { return !Replies.empty(); }
    std::vector<TTelnetLogEntry> TakeLog();
    // Logging costs nothing while off.
    bool Logging = false;

    // Forgets a partly received sequence and the option states.
    void Reset();
    // Forgets only a partly received sequence (its bytes were discarded).
    void ForgetPartial();

    TTelnetOpt BinaryOpt = tnoFalse;
    TTelnetOpt SgaOpt = tnoFalse;
    TTelnetOpt EchoOpt = tnoFalse;
    // Sent when the peer asks for the terminal type.
    std::string TermType;

  private:
    enum TState { Data, Iac, Option, SbFirst, SbData, SbIac, AfterCr };
    void HandleCommand(uint8_t Command, uint8_t Opt);
    void Send(TTelnetLogKind Kind, uint8_t Command, uint8_t Opt);
    void SendTerminal();
    void Log(TTelnetLogKind Kind, uint8_t Data);

    TState State = Data;
    uint8_t Command = 0;
    bool SbTerminal = false;
    std::vector<uint8_t> Replies;
    std::vector<TTelnetLogEntry> LogEntries;
};

struct TTelnetEscapeResult {
    size_t Consumed; // bytes of In taken
    size_t Stored;   // bytes written to Out
};
// Escapes In into Out as far as Out has room; a doubled 255 or a CR NUL is stored only
// when both of its bytes fit.
TTelnetEscapeResult TelnetEscape(std::span<const uint8_t> In, TTelnetOpt BinaryOpt,
                                 std::span<uint8_t> Out);

} // namespace port
