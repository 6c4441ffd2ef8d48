#pragma once
// SerialDevice: one Linux tty opened as a serial port, with one call per device
// operation the serial dispatcher needs (open, line settings, modem lines, break,
// purge, queue counts, RS485 direction, the event wait). It keeps no rings and starts
// no threads; the dispatcher does that on top of it.
//
// Two platforms: a Linux tty through termios and poll (SerialDeviceLinux.cpp, which
// the notes below describe), and a Windows communications device "\\.\COMn" through
// the DCB, COMMTIMEOUTS, overlapped I/O and WaitCommEvent (SerialDeviceWin32.cpp, whose
// own notes say where it differs: the system's error numbers at open, no pty view,
// modem line changes through the event wait). TStopSignal is an eventfd there and an
// event object here; Descriptor() is the fd or the device handle.
//
// Results: 0 (or a count) for success and a negative code otherwise, in the numbering
// the port layer's logic expects:
//   Open:  -2 no such port (the name is missing, or nothing answers behind it: ENOENT,
//             ENXIO, ENODEV, EIO, or the name is not a terminal),
//          -3 the folder of the name does not exist (ENOENT with a missing folder,
//             ENOTDIR),
//          -5 in use (another open holds the flock or the exclusive mode),
//          -errno for everything else (EACCES and EPERM -13 when not allowed, e.g.
//             not in the dialout group: told apart from "in use" on purpose).
//   later: -6 when the device is not open; a device that is gone (hang-up, EIO, ENXIO,
//          ENODEV) gives -161 from Read and the event wait, -160 from Write and -162
//          from the other calls (the plain negated errno -5 would read as "in use");
//          -22 for settings the device refused; -errno otherwise.
//
// Pseudo-terminals (openpty, socat, ser2net and our simulator) have no UART: the kernel
// takes any setting without an error but keeps neither parity nor a byte size other than
// 8 on them (the C library's tcsetattr notices some of the drops and reports EINVAL), and
// they have no modem lines (TIOCMGET answers ENOTTY). Bytes pass a pty unchanged whatever its
// settings, so on a pty SetLine keeps the requested settings as the port's own (GetLine reports
// them) and pushes only what the pty holds: rate, stop bits, flow control. On any other tty a
// setting the driver does not hold back fails with -22 and leaves the line as it was.
//
// Threads: Wait, Read, Write and the control calls may run on different threads at
// once. Close may run while another thread waits: it stops every Wait first, and calls
// after it fail with -6 (never on a reused descriptor).
#include "port/ComPortInterface.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

namespace port {

// A wake-up for Wait from any thread: an eventfd. Raise is sticky until Clear, so a
// raise that comes before the wait still ends it.
class TStopSignal {
  public:
    TStopSignal();
    ~TStopSignal();
    TStopSignal(const TStopSignal&) = delete;
    TStopSignal& operator=(const TStopSignal&) = delete;

    void Raise();
    void Clear();
    bool Raised() const { return RaisedFlag.load(); }
    int Fd() const { return EventFd; }

  private:
    int EventFd = -1;
    std::atomic<bool> RaisedFlag{false};
};

enum TSerialStopBits : uint8_t { ssOne, ssOneAndHalf, ssTwo };

// The line settings of a port. DataBits 5 to 8; StopBits as in the line settings of
// the dispatcher (0 one, 1 one and a half, 2 two).
struct TSerialLine {
    uint32_t Baud = 19200;
    TParity Parity = pNone;
    uint8_t DataBits = 8;
    TSerialStopBits StopBits = ssOne;
    bool CtsRtsFlow = false;    // CTS stops our output, RTS tells the peer to stop
    bool XOnXOffOutput = false; // the peer's XOFF stops our output
    bool XOnXOffInput = false;  // we send XOFF when our input fills
    char XOnChar = 17;
    char XOffChar = 19;

    bool operator==(const TSerialLine&) const = default;
};

// Bits of Wait's result; 0 means the time ran out.
enum TWaitEvent : uint32_t {
    weReadable = 0x01,
    weWritable = 0x02,
    weStopped = 0x04, // the caller's signal or Close
    weHangUp = 0x08,  // the device is gone (also after POLLERR)
    weError = 0x10,   // the wait itself failed
};

// Modem lines of GetModemLines.
enum TModemLine : uint32_t {
    mlCts = 0x01,
    mlDsr = 0x02,
    mlRing = 0x04,
    mlDcd = 0x08,
    mlDtr = 0x10,
    mlRts = 0x20,
};

// The driver's running counts of modem line changes and receive errors (TIOCGICOUNT).
// With parity checking off the bytes pass unmarked, so these counts are how a line
// error is known; a change between two reads is an event even if the line went back.
struct TLineCounters {
    uint32_t Cts = 0, Dsr = 0, Ring = 0, Dcd = 0;
    uint32_t Frame = 0, Overrun = 0, Parity = 0, Break = 0, BufferOverrun = 0;

    bool operator==(const TLineCounters&) const = default;
};

class SerialDevice {
  public:
    // Result of GetModemLines when the device has no modem lines (a pty).
    static constexpr int32_t ModemLinesUnknown = 1;
    // Result of SetRS485 when the driver cannot switch the direction itself: the
    // caller raises RTS around its writes instead.
    static constexpr int32_t RS485ByRts = 1;
    // Result of GetCounters when the driver keeps no counts (a pty).
    static constexpr int32_t CountersUnknown = 1;

    static constexpr int32_t NotFound = -2;
    static constexpr int32_t PathNotFound = -3;
    static constexpr int32_t InUse = -5;
    static constexpr int32_t NotOpen = -6;
    static constexpr int32_t Refused = -22;
    static constexpr int32_t LostOnWrite = -160;
    static constexpr int32_t LostOnRead = -161;
    static constexpr int32_t LostOnControl = -162;

    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Whether Path can be opened as a serial port now, by the very rules Open follows,
    // without changing the device: 0 when Open would succeed (a terminal that no other
    // open holds), InUse when another open holds its flock or exclusive mode, or the
    // code Open would fail with (NotFound for a missing name and for one that is not a
    // terminal, such as /dev/null or a plain file). The device is opened and closed
    // again at once; its settings, lines and queues stay as they are. Any thread.
    static int32_t Probe(const std::string& Path);

    // Opens Path (symlinks followed) with O_RDWR | O_NOCTTY | O_NONBLOCK and takes
    // exclusive use: flock (which holds for root too) and the tty's exclusive mode; a
    // tty already in exclusive mode counts as in use, also for root. Puts the line in
    // raw mode without flow control and keeps its rate, size, parity and stop bits,
    // which GetLine then reports. 0 or a negative code (see the top); -1002 when
    // already open.
    int32_t Open(const std::string& Path);
    // Stops every Wait, leaves exclusive use and closes. 0, or -1 when close failed.
    // Harmless when not open.
    int32_t Close();

    bool IsOpen() const;
    // The descriptor, -1 when closed (the dispatcher's device handle; not to be closed).
    int Descriptor() const;
    const std::string& Path() const { return DevicePath; }
    // The device is a pseudo-terminal: its major number is a pty's (136-143 Unix98
    // slaves, 128-135 masters, 2 and 3 the old BSD pairs, 5:2 the multiplexer).
    bool IsPseudoTerminal() const { return PseudoTerminal; }
    // TIOCMGET works on the device.
    bool ModemLinesKnown() const { return LinesKnown; }
    // The driver took the low-latency flag at open.
    bool LowLatency() const { return LowLatencySet; }
    // The device went away (hang-up, error poll, EOF or EIO). Sticky until Close.
    bool Lost() const { return LostFlag.load(); }

    // Line settings: 0, -22 when a value is out of range (rate 0, size outside 5 to 8,
    // parity outside the five) or the device did not hold it, or another code.
    int32_t SetLine(const TSerialLine& Line);
    // The port's own settings: the last accepted SetLine (on a pty the requested ones,
    // not what the pty holds), or what the device had at open.
    TSerialLine GetLine() const;

    // DTR and RTS. On a device without modem lines the level is only remembered, and 0.
    int32_t SetDtr(bool On);
    int32_t SetRts(bool On);
    // The lines in TModemLine bits: 0, ModemLinesUnknown (Lines set to 0), or negative.
    int32_t GetModemLines(uint32_t& Lines);
    // TIOCMIWAIT: blocks until one of Lines (TModemLine bits) changes. Only a signal to
    // the waiting thread ends it early (result -4); a pty answers -25 at once.
    int32_t WaitModemChange(uint32_t Lines);

    // 0, CountersUnknown (Counters untouched), or negative.
    int32_t GetCounters(TLineCounters& Counters);

    int32_t SetBreak(bool On);
    // Discards what the driver holds for the given direction(s).
    int32_t Purge(bool Input, bool Output);
    // Bytes the driver holds for reading (FIONREAD) and not yet sent (TIOCOUTQ).
    int32_t InputCount();
    int32_t OutputCount();
    // 1 when the transmitter is empty (shift register included where the driver can
    // tell), 0 when not, or negative.
    int32_t TransmitterEmpty();
    // RS485 direction by the driver (RTS high while sending): 0, RS485ByRts, negative.
    int32_t SetRS485(bool On);

    // Bytes read, at most Size, without waiting: > 0, 0 when nothing is there, negative
    // on failure (LostOnRead once the device is gone). Bytes the tty held back behind
    // its full buffer come with the same call: after a read that found it full, the
    // call waits up to HeldBackWaitNs for the driver to pass them on.
    int32_t Read(void* Buf, int32_t Size);
    static constexpr long HeldBackWaitNs = 200'000;
    // What the tty's own input buffer holds at most: a read that brings this many found
    // it full.
    static constexpr int32_t TtyInputHold = 4095;
    // Bytes the driver took without waiting (0 when it is full), or negative.
    int32_t Write(const void* Buf, int32_t Size);

    // Waits up to TimeoutMs (negative: no limit) until the device is readable or
    // writable as Interest (TWaitEvent bits) asks, the device is gone, Stop (when
    // given) is raised, or Close runs. Returns TWaitEvent bits, 0 on time-out. Once the
    // device is gone it is no longer watched: every later Wait reports weHangUp and
    // waits for the stop or the time-out, so a loop around it never spins.
    uint32_t Wait(int TimeoutMs, uint32_t Interest, const TStopSignal* Stop = nullptr);
    // The event thread's wait for input: as Wait with weReadable, but each arrival of
    // bytes is reported once (edge-triggered), whether or not anyone has read them, so
    // the caller may go back to waiting at once. Input already there when the watch
    // starts, or when WatchInput turns on again, counts as an arrival. One thread at a
    // time, always with the same Stop. A Windows device without an event wait (wine's
    // pty) is looked at after rests, and bytes that wait are reported after each one.
    uint32_t WaitArrival(int TimeoutMs, bool WatchInput, const TStopSignal* Stop);

    // The errno of a failed open as the port layer's code (see the top); FolderMissing
    // says whether the folder of the name is missing.
    static int32_t OpenErrorCode(int Errno, bool FolderMissing);

  private:
    int32_t RuntimeCode(int Errno, int32_t LostCode);
    int32_t ApplyLine(const TSerialLine& Line);
    int32_t ReadDeviceLine(TSerialLine& Line);
    int32_t SetModemLine(int Bit, bool On);
    // Read's second part after a full buffer: what the driver passes on meanwhile.
    int32_t ReadHeldBack(char* Buf, int32_t Size);

    // Held shared by every call on the descriptor, exclusively by Open and Close.
    mutable std::shared_mutex FdLock;
    int Fd = -1;
    std::string DevicePath;
    bool PseudoTerminal = false;
    bool LinesKnown = false;
    bool LowLatencySet = false;
    std::atomic<bool> LostFlag{false};
    TStopSignal Closing;
    // WaitArrival's state from one call to the next, the platform's own (an epoll set
    // on Linux, a pending WaitCommEvent on Windows): made by Open, released by Close.
    struct TArrivalWatch;
    std::unique_ptr<TArrivalWatch> Arrival;

    mutable std::mutex LineLock;
    TSerialLine CurrentLine;
};

} // namespace port
