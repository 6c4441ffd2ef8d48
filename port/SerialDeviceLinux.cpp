#include "port/SerialDevice.h"

// The kernel's termios2 (with any rate through BOTHER) is not the C library's struct
// termios, and the two headers cannot meet: this file talks to the driver with the
// kernel's ioctls only and never includes <termios.h>.
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>

namespace port {

namespace {

struct TStandardRate {
    uint32_t Baud;
    tcflag_t Code;
};

constexpr TStandardRate StandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// A rate with its own code goes out as that code, so tools that read the line with
// the C library (which knows only the codes) see it; any other rate goes as BOTHER.
tcflag_t RateCode(uint32_t Baud) {
    for (const auto& R : StandardRates)
        if (R.Baud == Baud) return R.Code;
    return BOTHER;
}

uint32_t RateOfCode(tcflag_t Code) {
    for (const auto& R : StandardRates)
        if (R.Code == Code) return R.Baud;
    return 0;
}

bool IsPtyMajor(dev_t Device) {
    const unsigned Major = major(Device);
    if (Major >= 136 && Major <= 143) return true; // Unix98 slaves
    if (Major >= 128 && Major <= 135) return true; // Unix98 masters
    if (Major == 2 || Major == 3) return true;     // BSD masters and slaves
    return Major == 5 && minor(Device) == 2;       // the multiplexer
}

bool FolderMissing(const std::string& Path) {
    const auto Slash = Path.find_last_of('/');
    const std::string Folder = Slash == std::string::npos ? "."
                               : Slash == 0               ? "/"
                                                          : Path.substr(0, Slash);
    struct stat St;
    if (stat(Folder.c_str(), &St) == 0) return !S_ISDIR(St.st_mode);
    return errno == ENOENT || errno == ENOTDIR;
}

bool Unsupported(int Errno) {
    return Errno == ENOTTY || Errno == EINVAL || Errno == EOPNOTSUPP;
}

bool GoneErrno(int Errno) {
    return Errno == EIO || Errno == ENXIO || Errno == ENODEV;
}

// Raw bytes both ways: no translation, no echo, no signals, no parity marking; a read
// returns what is there. VMIN 1 matters: with 0 a non-blocking read of an empty tty
// returns 0, which could not be told from the end of a device that went away.
void MakeRaw(termios2& T) {
    T.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    T.c_oflag &= ~OPOST;
    T.c_lflag &= ~(ECHO | ECHONL | ECHOE | ECHOK | ECHOCTL | ECHOKE | ICANON | ISIG | IEXTEN);
    // CLOCAL: a missing carrier on an RS485 adapter must not hang the port up.
    T.c_cflag |= CREAD | CLOCAL;
    T.c_cc[VMIN] = 1;
    T.c_cc[VTIME] = 0;
}

// What the driver may round a rate to before we call it refused (a UART's own
// tolerance is about this).
bool RateHeld(uint32_t Asked, uint32_t Held) {
    const uint64_t Diff = Asked > Held ? Asked - Held : Held - Asked;
    return Diff * 100 <= static_cast<uint64_t>(Asked) * 3;
}

// Opens Path as Open does and checks that it is a terminal no other open holds. On
// success Fd is open and holds the flock (released by its close); otherwise nothing is
// left open and the result says why, in Open's codes.
int32_t OpenUnheldTerminal(const std::string& Path, int& Fd, struct stat& St) {
    Fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0) {
        const int Errno = errno;
        return SerialDevice::OpenErrorCode(Errno, Errno == ENOENT && FolderMissing(Path));
    }
    auto Fail = [&](int32_t Code) {
        close(Fd);
        Fd = -1;
        return Code;
    };
    if (fstat(Fd, &St) != 0) return Fail(-errno);
    termios2 T;
    if (!S_ISCHR(St.st_mode) || ioctl(Fd, TCGETS2, &T) != 0) return Fail(SerialDevice::NotFound);
    // flock holds for root as well, where the tty's exclusive mode does not; the two
    // together keep every other open out, ours and other programs'.
    if (flock(Fd, LOCK_EX | LOCK_NB) != 0) return Fail(SerialDevice::OpenErrorCode(errno, false));
    int Exclusive = 0;
    if (ioctl(Fd, TIOCGEXCL, &Exclusive) == 0 && Exclusive) return Fail(SerialDevice::InUse);
    return 0;
}

} // namespace

// ---- TStopSignal -------------------------------------------------------------------

TStopSignal::TStopSignal() : EventFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (EventFd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TStopSignal::~TStopSignal() {
    close(EventFd);
}

void TStopSignal::Raise() {
    RaisedFlag.store(true);
    const uint64_t One = 1;
    // Only a counter at its maximum refuses, and then it is readable anyway.
    [[maybe_unused]] auto Written = write(EventFd, &One, sizeof One);
}

void TStopSignal::Clear() {
    uint64_t Count;
    [[maybe_unused]] auto Got = read(EventFd, &Count, sizeof Count);
    RaisedFlag.store(false);
}

// ---- SerialDevice ------------------------------------------------------------------

// The epoll set of WaitArrival: Closing, the caller's stop signal (added at its first
// wait) and the tty, edge-triggered.
struct SerialDevice::TArrivalWatch {
    int Poll = -1;
    bool WatchesInput = true;
    bool DeviceRemoved = false;
    int StopFd = -1;

    // 0, or -1 with errno.
    int Open(int ClosingFd, int DeviceFd) {
        Poll = epoll_create1(EPOLL_CLOEXEC);
        if (Poll < 0) return -1;
        epoll_event Closed{EPOLLIN, {.fd = ClosingFd}};
        epoll_event Input{EPOLLIN | EPOLLET, {.fd = DeviceFd}};
        if (epoll_ctl(Poll, EPOLL_CTL_ADD, ClosingFd, &Closed) == 0 &&
            epoll_ctl(Poll, EPOLL_CTL_ADD, DeviceFd, &Input) == 0)
            return 0;
        return -1;
    }
    ~TArrivalWatch() {
        if (Poll >= 0) close(Poll);
    }
};

SerialDevice::SerialDevice() = default;

SerialDevice::~SerialDevice() {
    Close();
}

int32_t SerialDevice::OpenErrorCode(int Errno, bool FolderIsMissing) {
    switch (Errno) {
    case ENOENT:
        return FolderIsMissing ? PathNotFound : NotFound;
    case ENOTDIR:
        return PathNotFound;
    case ENXIO:
    case ENODEV:
    case EIO: // a node without hardware behind it, or one that went away
        return NotFound;
    case EBUSY:
    case EWOULDBLOCK:
        return InUse;
    case EPERM: // -1 would read as "failed, ask the last error"
        return -EACCES;
    default:
        return -Errno;
    }
}

int32_t SerialDevice::RuntimeCode(int Errno, int32_t LostCode) {
    if (GoneErrno(Errno)) {
        LostFlag.store(true);
        return LostCode;
    }
    return -Errno;
}

bool SerialDevice::IsOpen() const {
    std::shared_lock Lock(FdLock);
    return Fd >= 0;
}

int SerialDevice::Descriptor() const {
    std::shared_lock Lock(FdLock);
    return Fd;
}

int32_t SerialDevice::Probe(const std::string& Path) {
    int ProbeFd;
    struct stat St;
    const int32_t R = OpenUnheldTerminal(Path, ProbeFd, St);
    if (R == 0) close(ProbeFd);
    return R;
}

int32_t SerialDevice::Open(const std::string& Path) {
    std::unique_lock Lock(FdLock);
    if (Fd >= 0) return -1002;

    int NewFd;
    struct stat St;
    if (const int32_t R = OpenUnheldTerminal(Path, NewFd, St); R != 0) return R;
    ioctl(NewFd, TIOCEXCL);
    auto FailHeld = [&](int32_t Code) {
        ioctl(NewFd, TIOCNXCL);
        close(NewFd);
        return Code;
    };

    Fd = NewFd;
    DevicePath = Path;
    PseudoTerminal = IsPtyMajor(St.st_rdev);
    LostFlag.store(false);
    Closing.Clear();

    int Lines = 0;
    LinesKnown = ioctl(Fd, TIOCMGET, &Lines) == 0;

    // Drivers that buffer input (USB adapters) deliver it sooner with this flag; a
    // driver without it, or one that refuses, is used as it is.
    LowLatencySet = false;
    serial_struct Serial;
    if (ioctl(Fd, TIOCGSERIAL, &Serial) == 0) {
        Serial.flags |= ASYNC_LOW_LATENCY;
        LowLatencySet = ioctl(Fd, TIOCSSERIAL, &Serial) == 0;
    }

    // Flow control is off until asked for: a tty's default XON/XOFF would swallow the
    // bytes 0x11 and 0x13 of binary replies.
    TSerialLine Line;
    int32_t R = ReadDeviceLine(Line);
    Line.CtsRtsFlow = Line.XOnXOffOutput = Line.XOnXOffInput = false;
    if (R == 0) R = ApplyLine(Line);
    if (R != 0) {
        Fd = -1;
        return FailHeld(R == LostOnControl ? NotFound : R);
    }
    auto Watch = std::make_unique<TArrivalWatch>();
    if (Watch->Open(Closing.Fd(), Fd) != 0) {
        const int32_t Code = -errno;
        Fd = -1;
        return FailHeld(Code);
    }
    Arrival = std::move(Watch);
    std::lock_guard LineGuard(LineLock);
    CurrentLine = Line;
    return 0;
}

int32_t SerialDevice::Close() {
    Closing.Raise();
    std::unique_lock Lock(FdLock);
    if (Fd < 0) return 0;
    // The driver's close waits for unsent output to drain, for up to half a minute on a
    // line held by flow control; what was not sent by now is given up.
    ioctl(Fd, TCFLSH, TCOFLUSH);
    // The exclusive mode stays with the tty after our close unless taken back.
    ioctl(Fd, TIOCNXCL);
    Arrival.reset();
    const int R = close(Fd);
    Fd = -1;
    return R == 0 ? 0 : -1;
}

// ---- line settings -----------------------------------------------------------------

int32_t SerialDevice::ReadDeviceLine(TSerialLine& Line) {
    termios2 T;
    if (ioctl(Fd, TCGETS2, &T) != 0) return RuntimeCode(errno, LostOnControl);
    const tcflag_t Code = T.c_cflag & CBAUD;
    Line.Baud = Code == BOTHER ? T.c_ospeed : RateOfCode(Code);
    if (Line.Baud == 0) Line.Baud = T.c_ospeed ? T.c_ospeed : 9600;
    switch (T.c_cflag & CSIZE) {
    case CS5:
        Line.DataBits = 5;
        break;
    case CS6:
        Line.DataBits = 6;
        break;
    case CS7:
        Line.DataBits = 7;
        break;
    default:
        Line.DataBits = 8;
        break;
    }
    if (!(T.c_cflag & PARENB))
        Line.Parity = pNone;
    else if (T.c_cflag & CMSPAR)
        Line.Parity = (T.c_cflag & PARODD) ? pMark : pSpace;
    else
        Line.Parity = (T.c_cflag & PARODD) ? pOdd : pEven;
    Line.StopBits = (T.c_cflag & CSTOPB) ? ssTwo : ssOne;
    Line.CtsRtsFlow = (T.c_cflag & CRTSCTS) != 0;
    Line.XOnXOffOutput = (T.c_iflag & IXON) != 0;
    Line.XOnXOffInput = (T.c_iflag & IXOFF) != 0;
    Line.XOnChar = static_cast<char>(T.c_cc[VSTART]);
    Line.XOffChar = static_cast<char>(T.c_cc[VSTOP]);
    return 0;
}

// Pushes Line to the device (only what a pty holds, on a pty), reads it back and puts
// the old settings back when the driver did not hold what was pushed.
int32_t SerialDevice::ApplyLine(const TSerialLine& Line) {
    if (Line.Baud == 0 || Line.DataBits < 5 || Line.DataBits > 8 || Line.Parity > pSpace ||
        Line.StopBits > ssTwo)
        return Refused;

    termios2 Old;
    if (ioctl(Fd, TCGETS2, &Old) != 0) return RuntimeCode(errno, LostOnControl);
    termios2 T = Old;
    MakeRaw(T);
    T.c_cflag &=
        ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));

    static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
    const bool FullLine = !PseudoTerminal;
    T.c_cflag |= FullLine ? Sizes[Line.DataBits - 5] : CS8;
    if (FullLine) {
        switch (Line.Parity) {
        case pNone:
            break;
        case pOdd:
            T.c_cflag |= PARENB | PARODD;
            break;
        case pEven:
            T.c_cflag |= PARENB;
            break;
        case pMark:
            T.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case pSpace:
            T.c_cflag |= PARENB | CMSPAR;
            break;
        }
    }
    // termios knows one or two stop bits. A UART asked for two sends one and a half
    // with 5 data bits (the only size where 1.5 exists), so 1.5 is asked as two.
    if (Line.StopBits != ssOne) T.c_cflag |= CSTOPB;
    if (Line.CtsRtsFlow) T.c_cflag |= CRTSCTS;
    if (Line.XOnXOffOutput) T.c_iflag |= IXON;
    if (Line.XOnXOffInput) T.c_iflag |= IXOFF;
    T.c_cc[VSTART] = static_cast<cc_t>(Line.XOnChar);
    T.c_cc[VSTOP] = static_cast<cc_t>(Line.XOffChar);
    // Input speed bits left 0: the input runs at the output's rate.
    T.c_cflag |= RateCode(Line.Baud);
    T.c_ospeed = T.c_ispeed = Line.Baud;

    if (ioctl(Fd, TCSETS2, &T) != 0) return RuntimeCode(errno, LostOnControl);

    // Drivers drop what they cannot do without an error (a pty every parity, a UART
    // mark and space or a rate out of its range): only the read-back tells.
    termios2 Held;
    if (ioctl(Fd, TCGETS2, &Held) != 0) return RuntimeCode(errno, LostOnControl);
    constexpr tcflag_t Checked = CSIZE | PARENB | CSTOPB | CRTSCTS;
    bool Same = (Held.c_cflag & Checked) == (T.c_cflag & Checked) &&
                ((T.c_cflag & PARENB) == 0 ||
                 (Held.c_cflag & (PARODD | CMSPAR)) == (T.c_cflag & (PARODD | CMSPAR))) &&
                (Held.c_iflag & (IXON | IXOFF)) == (T.c_iflag & (IXON | IXOFF));
    const tcflag_t HeldCode = Held.c_cflag & CBAUD;
    const uint32_t HeldRate = HeldCode == BOTHER ? Held.c_ospeed : RateOfCode(HeldCode);
    Same = Same && RateHeld(Line.Baud, HeldRate);
    if (!Same) {
        ioctl(Fd, TCSETS2, &Old);
        return Refused;
    }
    return 0;
}

int32_t SerialDevice::SetLine(const TSerialLine& Line) {
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    std::lock_guard LineGuard(LineLock);
    const int32_t R = ApplyLine(Line);
    if (R == 0) CurrentLine = Line;
    return R;
}

TSerialLine SerialDevice::GetLine() const {
    std::lock_guard LineGuard(LineLock);
    return CurrentLine;
}

// ---- modem lines, break, queues ----------------------------------------------------

int32_t SerialDevice::SetModemLine(int Bit, bool On) {
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    if (!LinesKnown) return 0;
    if (ioctl(Fd, On ? TIOCMBIS : TIOCMBIC, &Bit) != 0) return RuntimeCode(errno, LostOnControl);
    return 0;
}

int32_t SerialDevice::SetDtr(bool On) {
    return SetModemLine(TIOCM_DTR, On);
}

int32_t SerialDevice::SetRts(bool On) {
    return SetModemLine(TIOCM_RTS, On);
}

int32_t SerialDevice::GetModemLines(uint32_t& Lines) {
    Lines = 0;
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    if (!LinesKnown) return ModemLinesUnknown;
    int Bits = 0;
    if (ioctl(Fd, TIOCMGET, &Bits) != 0) return RuntimeCode(errno, LostOnControl);
    if (Bits & TIOCM_CTS) Lines |= mlCts;
    if (Bits & TIOCM_DSR) Lines |= mlDsr;
    if (Bits & TIOCM_RNG) Lines |= mlRing;
    if (Bits & TIOCM_CD) Lines |= mlDcd;
    if (Bits & TIOCM_DTR) Lines |= mlDtr;
    if (Bits & TIOCM_RTS) Lines |= mlRts;
    return 0;
}

int32_t SerialDevice::WaitModemChange(uint32_t Lines) {
    // The wait cannot be woken through the descriptor, so it runs on a duplicate: Close
    // is never held up by it, and the number it waits on is never reused meanwhile.
    int Dup;
    {
        std::shared_lock Lock(FdLock);
        if (Fd < 0) return NotOpen;
        Dup = fcntl(Fd, F_DUPFD_CLOEXEC, 0);
        if (Dup < 0) return -errno;
    }
    unsigned long Mask = 0;
    if (Lines & mlCts) Mask |= TIOCM_CTS;
    if (Lines & mlDsr) Mask |= TIOCM_DSR;
    if (Lines & mlRing) Mask |= TIOCM_RNG;
    if (Lines & mlDcd) Mask |= TIOCM_CD;
    const int R = ioctl(Dup, TIOCMIWAIT, Mask);
    const int Errno = errno;
    close(Dup);
    return R == 0 ? 0 : RuntimeCode(Errno, LostOnControl);
}

int32_t SerialDevice::GetCounters(TLineCounters& Counters) {
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    serial_icounter_struct Count{};
    if (ioctl(Fd, TIOCGICOUNT, &Count) != 0)
        return Unsupported(errno) ? CountersUnknown : RuntimeCode(errno, LostOnControl);
    auto U = [](int V) { return static_cast<uint32_t>(V); };
    Counters = {U(Count.cts),    U(Count.dsr),   U(Count.rng),
                U(Count.dcd),    U(Count.frame), U(Count.overrun),
                U(Count.parity), U(Count.brk),   U(Count.buf_overrun)};
    return 0;
}

int32_t SerialDevice::SetBreak(bool On) {
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    if (ioctl(Fd, On ? TIOCSBRK : TIOCCBRK) != 0) return RuntimeCode(errno, LostOnControl);
    return 0;
}

int32_t SerialDevice::Purge(bool Input, bool Output) {
    if (!Input && !Output) return 0;
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    const int Which = Input && Output ? TCIOFLUSH : Input ? TCIFLUSH : TCOFLUSH;
    if (ioctl(Fd, TCFLSH, Which) != 0) return RuntimeCode(errno, LostOnControl);
    return 0;
}

int32_t SerialDevice::InputCount() {
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    int Count = 0;
    if (ioctl(Fd, FIONREAD, &Count) != 0) return RuntimeCode(errno, LostOnControl);
    return Count;
}

int32_t SerialDevice::OutputCount() {
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    int Count = 0;
    if (ioctl(Fd, TIOCOUTQ, &Count) != 0) return RuntimeCode(errno, LostOnControl);
    return Count;
}

int32_t SerialDevice::TransmitterEmpty() {
    {
        std::shared_lock Lock(FdLock);
        if (Fd < 0) return NotOpen;
        int Status = 0;
        if (ioctl(Fd, TIOCSERGETLSR, &Status) == 0) return (Status & TIOCSER_TEMT) ? 1 : 0;
        if (!Unsupported(errno)) return RuntimeCode(errno, LostOnControl);
    }
    // Without the line status register the driver's queue is all there is to ask.
    const int32_t Queued = OutputCount();
    return Queued < 0 ? Queued : Queued == 0 ? 1 : 0;
}

int32_t SerialDevice::SetRS485(bool On) {
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    serial_rs485 Rs{};
    if (ioctl(Fd, TIOCGRS485, &Rs) != 0)
        return Unsupported(errno) ? RS485ByRts : RuntimeCode(errno, LostOnControl);
    if (On) {
        Rs.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        Rs.flags &= ~SER_RS485_RTS_AFTER_SEND;
    } else {
        Rs.flags &= ~SER_RS485_ENABLED;
    }
    if (ioctl(Fd, TIOCSRS485, &Rs) != 0)
        return Unsupported(errno) ? RS485ByRts : RuntimeCode(errno, LostOnControl);
    return 0;
}

// ---- data and the event wait -------------------------------------------------------

int32_t SerialDevice::Read(void* Buf, int32_t Size) {
    if (Size <= 0) return 0;
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    if (LostFlag.load()) return LostOnRead;
    for (;;) {
        const ssize_t N = read(Fd, Buf, static_cast<size_t>(Size));
        if (N >= TtyInputHold && N < Size)
            return static_cast<int32_t>(
                N + ReadHeldBack(static_cast<char*>(Buf) + N, Size - static_cast<int32_t>(N)));
        if (N > 0) return static_cast<int32_t>(N);
        if (N == 0) {
            // With VMIN 1 an empty tty answers EAGAIN; 0 is the end of a hung-up one.
            LostFlag.store(true);
            return LostOnRead;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        return RuntimeCode(errno, LostOnRead);
    }
}

int32_t SerialDevice::ReadHeldBack(char* Buf, int32_t Size) {
    // The read that emptied the full buffer has asked the tty's worker to pass on what
    // it held back; the worker runs on its own, so the bytes come a moment later.
    // Waiting that moment here takes them with this read rather than with a second
    // notification after the next wake-up.
    const timespec HeldBackWait{0, HeldBackWaitNs};
    pollfd Input{Fd, POLLIN, 0};
    for (int Round = 0; Round < 2; ++Round) {
        const ssize_t More = read(Fd, Buf, static_cast<size_t>(Size));
        if (More > 0) return static_cast<int32_t>(More);
        if (Round == 0 && ppoll(&Input, 1, &HeldBackWait, nullptr) <= 0) break;
    }
    return 0;
}

int32_t SerialDevice::Write(const void* Buf, int32_t Size) {
    if (Size <= 0) return 0;
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return NotOpen;
    if (LostFlag.load()) return LostOnWrite;
    for (;;) {
        const ssize_t N = write(Fd, Buf, static_cast<size_t>(Size));
        if (N >= 0) return static_cast<int32_t>(N);
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        return RuntimeCode(errno, LostOnWrite);
    }
}

uint32_t SerialDevice::Wait(int TimeoutMs, uint32_t Interest, const TStopSignal* Stop) {
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return Closing.Raised() ? weStopped : weError;

    pollfd Fds[3];
    nfds_t Count = 0;
    Fds[Count++] = {Closing.Fd(), POLLIN, 0};
    if (Stop) Fds[Count++] = {Stop->Fd(), POLLIN, 0};
    // A device that is gone answers every poll at once; it is left out from then on.
    const bool Watch = !LostFlag.load();
    if (Watch) {
        short Events = 0;
        if (Interest & weReadable) Events |= POLLIN;
        if (Interest & weWritable) Events |= POLLOUT;
        Fds[Count++] = {Fd, Events, 0};
    }

    using Clock = std::chrono::steady_clock;
    const auto Deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs < 0 ? 0 : TimeoutMs);
    int N;
    for (;;) {
        int Left = -1;
        if (TimeoutMs >= 0) {
            const auto Rest = std::chrono::ceil<std::chrono::milliseconds>(Deadline - Clock::now());
            Left = Rest.count() > 0 ? static_cast<int>(Rest.count()) : 0;
        }
        N = poll(Fds, Count, Left);
        if (N >= 0 || errno != EINTR) break;
    }
    if (N < 0) return weError;

    uint32_t Result = 0;
    for (nfds_t I = 0; I < Count; ++I) {
        const short Got = Fds[I].revents;
        if (!Got) continue;
        if (Fds[I].fd != Fd) {
            Result |= weStopped;
            continue;
        }
        if (Got & POLLIN) Result |= weReadable;
        if (Got & POLLOUT) Result |= weWritable;
        if (Got & (POLLHUP | POLLERR)) LostFlag.store(true);
        if (Got & POLLNVAL) Result |= weError;
    }
    if (LostFlag.load()) Result |= weHangUp;
    return Result;
}

uint32_t SerialDevice::WaitArrival(int TimeoutMs, bool WatchInput, const TStopSignal* Stop) {
    std::shared_lock Lock(FdLock);
    if (Fd < 0) return Closing.Raised() ? weStopped : weError;

    TArrivalWatch& W = *Arrival;
    if (Stop && Stop->Fd() != W.StopFd) {
        epoll_event Stopped{EPOLLIN, {.fd = Stop->Fd()}};
        if (epoll_ctl(W.Poll, EPOLL_CTL_ADD, Stop->Fd(), &Stopped) != 0) return weError;
        W.StopFd = Stop->Fd();
    }
    // A device that is gone answers at once, again and again: it leaves the set.
    if (LostFlag.load() && !W.DeviceRemoved) {
        epoll_ctl(W.Poll, EPOLL_CTL_DEL, Fd, nullptr);
        W.DeviceRemoved = true;
    }
    if (!W.DeviceRemoved && WatchInput != W.WatchesInput) {
        // Watching again reports input that is already there.
        epoll_event Input{WatchInput ? uint32_t{EPOLLIN | EPOLLET} : uint32_t{EPOLLET}, {.fd = Fd}};
        if (epoll_ctl(W.Poll, EPOLL_CTL_MOD, Fd, &Input) != 0) return weError;
        W.WatchesInput = WatchInput;
    }

    epoll_event Ready[3];
    int N;
    for (;;) {
        N = epoll_wait(W.Poll, Ready, 3, TimeoutMs < 0 ? -1 : TimeoutMs);
        if (N >= 0 || errno != EINTR) break;
    }
    if (N < 0) return weError;

    uint32_t Result = 0;
    for (int I = 0; I < N; ++I) {
        const uint32_t Got = Ready[I].events;
        if (Ready[I].data.fd != Fd) {
            Result |= weStopped;
            continue;
        }
        if (Got & EPOLLIN) Result |= weReadable;
        if (Got & (EPOLLHUP | EPOLLERR)) LostFlag.store(true);
    }
    if (LostFlag.load()) Result |= weHangUp;
    return Result;
}

} // namespace port
