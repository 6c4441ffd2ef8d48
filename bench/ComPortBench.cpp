// The serial port component's receive road on a real pty, beside two anchors on the
// same pty: a raw poll()+read() loop, and QSerialPort.
//
// A producer thread plays the peer on the pty's master: it writes one burst, waits
// until the consumer has taken every byte of it, and writes the next. The consumers,
// on the main thread in turn:
//   raw          poll() and read() on the pty's slave;
//   GetChar      TComPort, an OnTriggerAvail handler taking Count bytes with GetChar
//                (the tool's way);
//   GetBlock     TComPort, a handler taking them with one GetBlock;
//   QSerialPort  readyRead and readAll on Qt's event loop.
// Figures: bytes per second for bursts of 8, 64 and 4096 bytes, and the time from the
// producer's write to the consumer's first byte (8-byte bursts), median and 99th
// percentile; each beside its ratio to the raw loop. The harnesses take turns round by
// round, so a changing load on the machine touches all of them alike. For the
// 4096-byte bursts, the consumer's heap allocations (operator new, counted on every
// thread but the producer's) and how often its threads were put on a CPU, per burst:
// a wake-up costs more than the bytes on a virtual machine. Last, the CPU an open,
// quiet port costs, and the targets of the receive road against those figures.
//
//   build-bench/bench/comport_bench [SECONDS]   seconds per measurement, default 0.3
//   build-bench/bench/comport_bench idle        only the quiet port
#include "AllocationCount.h"
#include "port/ComPort.h"
#include "port/SerialDispatcher.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using bench::Allocations;
using bench::AllocationsIgnored;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// What the consumer reports: bytes taken so far and when the first byte of the current
// burst arrived.
struct Tally {
    std::atomic<uint64_t> Taken{0};
    std::atomic<int64_t> FirstByteNs{0};

    void Took(uint64_t N) {
        if (N == 0) return;
        int64_t Zero = 0;
        FirstByteNs.compare_exchange_strong(Zero, NowNs());
        Taken.fetch_add(N);
        Taken.notify_all();
    }
};

Tally Counts;

// The moments of the component's receive road, for the first bytes of each burst: the
// event wait (TComThread) returned, the dispatch thread's read got them.
std::atomic<int64_t> EventNs{0};
std::atomic<int64_t> ReadNs{0};
// How often the road ran: event waits that returned, device reads with bytes, handler
// calls.
std::atomic<uint64_t> EventCount{0}, ReadCount{0}, HandlerCount{0};

void Stamp(std::atomic<int64_t>& At) {
    int64_t Zero = 0;
    At.compare_exchange_strong(Zero, NowNs());
}

class TStampedDispatcher : public port::TSerialDispatcher {
  public:
    using TSerialDispatcher::TSerialDispatcher;
    bool WaitComEvent(uint32_t& EvtMask) override {
        const bool R = TSerialDispatcher::WaitComEvent(EvtMask);
        Stamp(EventNs);
        ++EventCount;
        return R;
    }
    int32_t ReadCom(void* Buf, int32_t Size) override {
        const int32_t R = TSerialDispatcher::ReadCom(Buf, Size);
        if (R > 0) {
            Stamp(ReadNs);
            ++ReadCount;
        }
        return R;
    }
};

struct Result {
    double BytesPerSecond = 0;
    uint64_t Bursts = 0;
    uint64_t Allocations = 0; // by the consumer while it served
    uint64_t Scheduled = 0;   // times the consumer's threads were put on a CPU
    double CpuMs = 0;         // CPU time of the consumer's threads
    std::vector<std::pair<int, uint64_t>> RunsByThread; // the same by thread id
    std::vector<double> LatencyUs;
    std::vector<double> EventUs, ReadUs; // write to the event wait's return, to the read
};

// The peer: bursts of Size bytes until Seconds have passed, each one written whole and
// taken whole before the next.
std::atomic<int> ProducerTid{0};

void Produce(int Master, size_t Size, double Seconds, Result& Out, std::atomic<bool>& Done) {
    AllocationsIgnored = true;
    ProducerTid = static_cast<int>(gettid());
    std::vector<char> Burst(Size);
    for (size_t I = 0; I < Size; ++I)
        Burst[I] = static_cast<char>(I * 7);
    uint64_t Target = Counts.Taken.load();
    uint64_t Bytes = 0;
    const int64_t Start = NowNs();
    const int64_t End = Start + static_cast<int64_t>(Seconds * 1e9);
    while (NowNs() < End) {
        Counts.FirstByteNs = 0;
        EventNs = 0;
        ReadNs = 0;
        const int64_t Written = NowNs();
        for (size_t At = 0; At < Size;) {
            const ssize_t N = write(Master, Burst.data() + At, Size - At);
            if (N > 0) {
                At += static_cast<size_t>(N);
                continue;
            }
            pollfd P{Master, POLLOUT, 0};
            poll(&P, 1, 100);
        }
        Target += Size;
        for (uint64_t Seen; (Seen = Counts.Taken.load()) < Target;)
            Counts.Taken.wait(Seen);
        Out.LatencyUs.push_back((Counts.FirstByteNs.load() - Written) / 1000.0);
        if (EventNs.load()) Out.EventUs.push_back((EventNs.load() - Written) / 1000.0);
        if (ReadNs.load()) Out.ReadUs.push_back((ReadNs.load() - Written) / 1000.0);
        Bytes += Size;
        ++Out.Bursts;
    }
    Out.BytesPerSecond = Bytes / ((NowNs() - Start) / 1e9);
    Done = true;
    Counts.Taken.notify_all();
}

class Harness {
  public:
    virtual ~Harness() = default;
    virtual const char* Name() const = 0;
    virtual void Open() = 0;
    virtual void Close() = 0;
    // Runs the consumer on this thread until Done is set.
    virtual void Serve(const std::atomic<bool>& Done) = 0;
};

class RawLoop : public Harness {
  public:
    explicit RawLoop(std::string Path) : Path(std::move(Path)) {}
    const char* Name() const override { return "raw poll+read"; }
    void Open() override {
        Fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios T{};
        tcgetattr(Fd, &T);
        cfmakeraw(&T);
        tcsetattr(Fd, TCSANOW, &T);
    }
    void Close() override { close(Fd); }
    void Serve(const std::atomic<bool>& Done) override {
        char Buf[8192];
        while (!Done) {
            pollfd P{Fd, POLLIN, 0};
            if (poll(&P, 1, 20) <= 0) continue;
            const ssize_t N = read(Fd, Buf, sizeof Buf);
            if (N > 0) Counts.Took(static_cast<uint64_t>(N));
        }
    }

  private:
    std::string Path;
    int Fd = -1;
};

class ComPortHarness : public Harness {
  public:
    ComPortHarness(winsys::EventLoop& Loop, bool Block, bool Stamped = false)
        : Loop(Loop), Block(Block), Stamped(Stamped) {}
    const char* Name() const override { return Block ? "TComPort GetBlock" : "TComPort GetChar"; }
    void Open() override {
        Port = std::make_unique<port::TComPort>(&Loop);
        Port->SetComNumber(3);
        Port->SetParity(port::pEven);
        if (Stamped)
            Port->ActivationProc = [this](port::TCustomComPort& P) {
                return std::make_unique<TStampedDispatcher>(&P, &Loop);
            };
        Port->OnTriggerAvail = [this](port::IComPort* CP, uint16_t Count) {
            if (Block) {
                Port->GetBlock(Buffer, Count);
            } else {
                for (uint16_t I = 0; I < Count; ++I)
                    Buffer[I] = CP->GetChar();
            }
            ++HandlerCount;
            Counts.Took(Count);
        };
        Port->SetOpen(true);
    }
    void Close() override { Port.reset(); }
    void Serve(const std::atomic<bool>& Done) override {
        while (!Done)
            Loop.RunFor(5);
    }
    port::TComPort& Component() { return *Port; }

  private:
    winsys::EventLoop& Loop;
    bool Block;
    bool Stamped;
    std::unique_ptr<port::TComPort> Port;
    char Buffer[8192];
};

class QSerialPortHarness : public Harness {
  public:
    explicit QSerialPortHarness(std::string Path) : Path(std::move(Path)) {}
    const char* Name() const override { return "QSerialPort"; }
    void Open() override {
        Port = std::make_unique<QSerialPort>(QString::fromStdString(Path));
        Port->setBaudRate(19200);
        if (!Port->open(QIODevice::ReadWrite)) {
            std::fprintf(stderr, "QSerialPort: %s\n", Port->errorString().toStdString().c_str());
            std::exit(1);
        }
        QObject::connect(Port.get(), &QSerialPort::readyRead,
                         [this] { Counts.Took(static_cast<uint64_t>(Port->readAll().size())); });
    }
    void Close() override { Port.reset(); }
    void Serve(const std::atomic<bool>& Done) override {
        QTimer Check;
        QObject::connect(&Check, &QTimer::timeout, [&] {
            if (Done) QCoreApplication::exit(0);
        });
        Check.start(5);
        QCoreApplication::exec();
    }

  private:
    std::string Path;
    std::unique_ptr<QSerialPort> Port;
};

struct ThreadCpu {
    int Tid;
    double CpuMs;
    unsigned long long Runs;
};
std::vector<ThreadCpu> ThreadCpuTimes();

// Times this process's threads, the producer's aside, were put on a CPU, and their
// CPU time.
struct ConsumerLoad {
    uint64_t Runs = 0;
    double CpuMs = 0;
};
ConsumerLoad ConsumerThreads(const std::vector<ThreadCpu>& Threads) {
    ConsumerLoad Load;
    for (const ThreadCpu& T : Threads)
        if (T.Tid != ProducerTid.load()) {
            Load.Runs += T.Runs;
            Load.CpuMs += T.CpuMs;
        }
    return Load;
}

Result Measure(Harness& H, int Master, size_t Size, double Seconds) {
    H.Open();
    Result R;
    std::atomic<bool> Done{false};
    ProducerTid = 0;
    std::thread Producer([&] { Produce(Master, Size, Seconds, R, Done); });
    while (ProducerTid.load() == 0)
        std::this_thread::yield();
    // The counts are read outside the counted window: reading them allocates.
    const std::vector<ThreadCpu> Threads0 = ThreadCpuTimes();
    const ConsumerLoad Load0 = ConsumerThreads(Threads0);
    const uint64_t Allocated0 = Allocations.load();
    H.Serve(Done);
    R.Allocations = Allocations.load() - Allocated0;
    const std::vector<ThreadCpu> Threads1 = ThreadCpuTimes();
    const ConsumerLoad Load1 = ConsumerThreads(Threads1);
    for (const ThreadCpu& After : Threads1)
        for (const ThreadCpu& Before : Threads0)
            if (After.Tid == Before.Tid && After.Tid != ProducerTid.load())
                R.RunsByThread.emplace_back(After.Tid, After.Runs - Before.Runs);
    std::sort(R.RunsByThread.begin(), R.RunsByThread.end());
    R.Scheduled = Load1.Runs - Load0.Runs;
    R.CpuMs = Load1.CpuMs - Load0.CpuMs;
    Producer.join();
    H.Close();
    // Whatever a consumer left behind does not reach the next one.
    char Buf[4096];
    while (read(Master, Buf, sizeof Buf) > 0) {
    }
    return R;
}

double Percentile(std::vector<double> V, double P) {
    if (V.empty()) return 0;
    std::sort(V.begin(), V.end());
    return V[std::min(V.size() - 1, static_cast<size_t>(P * V.size()))];
}

double Median(std::vector<double> V) {
    return Percentile(std::move(V), 0.5);
}

// CPU nanoseconds and times scheduled of each thread of this process, by thread id.
std::vector<ThreadCpu> ThreadCpuTimes() {
    std::vector<ThreadCpu> Out;
    DIR* D = opendir("/proc/self/task");
    if (!D) return Out;
    for (dirent* E; (E = readdir(D));) {
        if (E->d_name[0] == '.') continue;
        std::ifstream In(std::string("/proc/self/task/") + E->d_name + "/schedstat");
        unsigned long long OnCpuNs = 0, WaitNs = 0, Runs = 0;
        In >> OnCpuNs >> WaitNs >> Runs;
        Out.push_back({std::atoi(E->d_name), OnCpuNs / 1e6, Runs});
    }
    closedir(D);
    return Out;
}

double ProcessCpuSeconds() {
    timespec T{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return T.tv_sec + T.tv_nsec / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    const bool IdleOnly = argc > 1 && std::string(argv[1]) == "idle";
    const double Seconds = argc > 1 && !IdleOnly ? std::atof(argv[1]) : 0.3;
    QCoreApplication Qt(argc, argv);
    winsys::EventLoop Loop;
    winsys::EventLoop::SetCurrent(&Loop);

    int Master = -1, Slave = -1;
    char Name[128];
    if (openpty(&Master, &Slave, Name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
    char Dir[] = "/tmp/rvex-comport-bench-XXXXXX";
    const std::string ComDir = mkdtemp(Dir);
    fs::create_symlink(Name, fs::path(ComDir) / "COM3");
    setenv("RVEX_COM_DIR", ComDir.c_str(), 1);

    RawLoop Raw(Name);
    ComPortHarness GetChar(Loop, false, true);
    ComPortHarness GetBlock(Loop, true, true);
    QSerialPortHarness Qsp(Name);
    std::vector<Harness*> Harnesses = {&Raw, &GetChar, &GetBlock, &Qsp};
    const size_t Sizes[] = {8, 64, 4096};
    constexpr int Rounds = 5;

    // Throughput: the median over the rounds; latency: every sample of every round.
    std::vector<std::vector<std::vector<double>>> Rates(
        3, std::vector<std::vector<double>>(Harnesses.size()));
    std::vector<std::vector<double>> Latency(Harnesses.size());
    // Per harness, over the 4096-byte rounds: bursts, allocations, times scheduled.
    struct Turns {
        uint64_t Bursts = 0, Allocations = 0, Scheduled = 0;
        double CpuMs = 0;
    };
    std::vector<Turns> BigBurstTurns(Harnesses.size());
    for (int Round = 0; Round < (IdleOnly ? 0 : Rounds); ++Round)
        for (size_t S = 0; S < 3; ++S)
            for (size_t H = 0; H < Harnesses.size(); ++H) {
                Result R = Measure(*Harnesses[H], Master, Sizes[S], Seconds);
                Rates[S][H].push_back(R.BytesPerSecond);
                if (Sizes[S] == 4096) {
                    BigBurstTurns[H].Bursts += R.Bursts;
                    BigBurstTurns[H].Allocations += R.Allocations;
                    BigBurstTurns[H].Scheduled += R.Scheduled;
                    BigBurstTurns[H].CpuMs += R.CpuMs;
                }
                if (Sizes[S] == 8)
                    Latency[H].insert(Latency[H].end(), R.LatencyUs.begin(), R.LatencyUs.end());
            }

    if (!IdleOnly) {
        std::printf("Receive road on a pty, %d rounds of %.2f s per figure (median)\n\n", Rounds,
                    Seconds);
        std::printf("%-20s", "bytes/s");
        for (size_t Size : Sizes)
            std::printf("  %9zu B burst   ratio", Size);
        std::printf("\n");
        for (size_t H = 0; H < Harnesses.size(); ++H) {
            std::printf("%-20s", Harnesses[H]->Name());
            for (size_t S = 0; S < 3; ++S) {
                const double Rate = Median(Rates[S][H]);
                const double RawRate = Median(Rates[S][0]);
                std::printf("  %12.3f MB/s  %6.2f", Rate / 1e6, RawRate > 0 ? Rate / RawRate : 0);
            }
            std::printf("\n");
        }
        std::printf("\n%-20s  %10s %7s  %10s %7s  %10s  %8s\n", "write->first byte", "median us",
                    "ratio", "p99 us", "ratio", "max us", "samples");
        const double RawMedian = Median(Latency[0]);
        const double RawP99 = Percentile(Latency[0], 0.99);
        for (size_t H = 0; H < Harnesses.size(); ++H) {
            const double M = Median(Latency[H]);
            const double P = Percentile(Latency[H], 0.99);
            // The longest wait shows a burst the road left lying (the dispatch thread's
            // idle pass is 50 ms), which a median and a 99th percentile hide.
            std::printf("%-20s  %10.1f %7.2f  %10.1f %7.2f  %10.1f  %8zu\n", Harnesses[H]->Name(),
                        M, RawMedian > 0 ? M / RawMedian : 0, P, RawP99 > 0 ? P / RawP99 : 0,
                        Percentile(Latency[H], 1.0), Latency[H].size());
        }

        std::printf("\n%-20s  %12s  %14s  %10s\n", "per 4096 B burst", "allocations",
                    "times on a CPU", "CPU us");
        for (size_t H = 0; H < Harnesses.size(); ++H) {
            const double Bursts = std::max<double>(1, BigBurstTurns[H].Bursts);
            std::printf("%-20s  %12.3f  %14.1f  %10.1f\n", Harnesses[H]->Name(),
                        BigBurstTurns[H].Allocations / Bursts, BigBurstTurns[H].Scheduled / Bursts,
                        1000 * BigBurstTurns[H].CpuMs / Bursts);
        }
        std::printf("\n");

        std::vector<double> EventUs, ReadUs;
        {
            // The GetChar harness's stamps, from another run of 8-byte bursts.
            for (int Round = 0; Round < Rounds; ++Round) {
                Result R = Measure(GetChar, Master, 8, Seconds);
                EventUs.insert(EventUs.end(), R.EventUs.begin(), R.EventUs.end());
                ReadUs.insert(ReadUs.end(), R.ReadUs.begin(), R.ReadUs.end());
            }
            // Where a 4096-byte burst's time goes: how many turns of the road it takes.
            for (ComPortHarness* H : {&GetChar, &GetBlock}) {
                EventCount = ReadCount = HandlerCount = 0;
                const uint64_t Before = Counts.Taken.load();
                Result R = Measure(*H, Master, 4096, Seconds);
                const double Bursts = (Counts.Taken.load() - Before) / 4096.0;
                std::printf(
                    "%s, 4096-byte bursts: %.1f event waits, %.1f reads, %.1f handler calls "
                    "per burst, %.1f us per burst; times on a CPU per burst by thread (window, "
                    "then the port's in order of start):",
                    H->Name(), EventCount / Bursts, ReadCount / Bursts, HandlerCount / Bursts,
                    1e6 * 4096 / R.BytesPerSecond);
                for (const auto& [Tid, Runs] : R.RunsByThread)
                    std::printf(" %.1f", Runs / Bursts);
                std::printf("\n");
            }
            std::printf("\nTComPort road, median (p99) us after the write: event wait returns %.1f "
                        "(%.1f), dispatch thread reads %.1f (%.1f), handler runs: see above\n",
                        Median(EventUs), Percentile(EventUs, 0.99), Median(ReadUs),
                        Percentile(ReadUs, 0.99));
        }
    }

    // An open port with nothing on the line: the process's CPU while the window
    // thread's loop waits.
    GetChar.Open();
    Loop.RunFor(200);
    const double IdleSeconds = 10;
    // Reading the threads' figures costs CPU of its own: it stays outside the span.
    const auto Threads0 = ThreadCpuTimes();
    const double Cpu0 = ProcessCpuSeconds();
    const auto Wall0 = Clock::now();
    Loop.RunFor(static_cast<int64_t>(IdleSeconds * 1000));
    const double Cpu = ProcessCpuSeconds() - Cpu0;
    const double Wall = std::chrono::duration<double>(Clock::now() - Wall0).count();
    const auto Threads1 = ThreadCpuTimes();
    GetChar.Close();
    std::printf("\nopen quiet port: %.4f %% of a core over %.1f s (%.2f ms of CPU); by thread, "
                "ms of CPU / times scheduled:",
                100.0 * Cpu / Wall, Wall, Cpu * 1000);
    for (const ThreadCpu& After : Threads1)
        for (const ThreadCpu& Before : Threads0)
            if (After.Tid == Before.Tid)
                std::printf(" [%d] %.2f/%llu", After.Tid, After.CpuMs - Before.CpuMs,
                            After.Runs - Before.Runs);
    std::printf("\n");

    if (!IdleOnly) {
        // The receive road's targets, each against figures of this run.
        const double RawBig = Median(Rates[2][0]);
        auto BigRatio = [&](size_t H) { return RawBig > 0 ? Median(Rates[2][H]) / RawBig : 0; };
        const double QspLatency = Median(Latency[3]);
        const double LatencyBound = QspLatency + 5;
        const double BlockLatency = Median(Latency[2]);
        const double CharLatency = Median(Latency[1]);
        auto PerBurst = [&](size_t H) {
            return BigBurstTurns[H].Allocations / std::max<double>(1, BigBurstTurns[H].Bursts);
        };
        auto Verdict = [](bool Met) { return Met ? "met" : "NOT MET"; };
        const double IdlePercent = 100.0 * Cpu / Wall;
        std::printf("targets:\n");
        std::printf("  GetBlock, 4096 B bursts: ratio %.2f >= QSerialPort's %.2f: %s\n",
                    BigRatio(2), BigRatio(3), Verdict(BigRatio(2) >= BigRatio(3)));
        std::printf("  GetChar, 4096 B bursts: ratio %.2f >= 0.30: %s\n", BigRatio(1),
                    Verdict(BigRatio(1) >= 0.30));
        std::printf("  median latency GetChar %.1f us, GetBlock %.1f us <= QSerialPort's %.1f + 5 "
                    "us: %s\n",
                    CharLatency, BlockLatency, QspLatency,
                    Verdict(CharLatency <= LatencyBound && BlockLatency <= LatencyBound));
        std::printf("  open quiet port %.4f %% of a core < 0.2 %%: %s\n", IdlePercent,
                    Verdict(IdlePercent < 0.2));
        std::printf("  heap allocations per 4096 B burst GetChar %.3f, GetBlock %.3f = 0: %s\n",
                    PerBurst(1), PerBurst(2), Verdict(PerBurst(1) == 0 && PerBurst(2) == 0));
    }

    close(Master);
    close(Slave);
    fs::remove_all(ComDir);
    winsys::EventLoop::SetCurrent(nullptr);
    return 0;
}
