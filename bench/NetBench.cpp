// The network device layer's receive road over loopback, beside two baselines that do
// the least possible: a blocking recv() in a loop, and a single-threaded epoll loop
// reading into a ring. A peer thread sends; the receiver under test is
//   - Raw:    blocking recv into a buffer;
//   - Epoll:  epoll_wait + recv into an 8192-byte ring, one thread;
//   - Port:   a TWinsockDispatcher client on the window thread's event loop, its
//             notify window taking every announced byte with GetChar (one call per
//             byte, as the tool's handler does) or GetBlock.
// Throughput: bytes per second for sends of 8, 64 and 4096 bytes. Latency: from the
// peer's send to the first byte in the receiver's hands, median and 99th percentile,
// with the next send only once the previous message was taken. Idle: the CPU share of
// an open, connected, quiet port. The summary at the end gives each figure's ratio to
// the raw read.
#include "port/DispatcherTypes.h"
#include "port/WinsockDevice.h"
#include "winsys/EventLoop.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace port;

namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

size_t TotalFor(size_t chunk) {
    return std::min<size_t>(chunk * 32768, 16u << 20);
}

// A connected loopback pair: Listen() then Accept() after the receiver connected.
struct Pair {
    int listener = -1;
    int peer = -1;
    uint16_t port = 0;
    Pair() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener, 4);
        socklen_t len = sizeof a;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Pair() {
        if (peer >= 0) ::close(peer);
        ::close(listener);
    }
    void Accept() {
        peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        int one = 1;
        ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    int ConnectRaw() const {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        return fd;
    }
};

void SendAll(int fd, const char* data, size_t n) {
    while (n > 0) {
        ssize_t k = ::send(fd, data, n, MSG_NOSIGNAL);
        if (k <= 0) return;
        data += k;
        n -= static_cast<size_t>(k);
    }
}

// Sends Total bytes in Chunk-sized sends.
void Stream(int fd, size_t chunk, size_t total) {
    std::vector<char> buf(chunk, 'x');
    for (size_t sent = 0; sent < total; sent += chunk)
        SendAll(fd, buf.data(), std::min(chunk, total - sent));
}

// Latency samples: the peer sends an 8-byte message once the receiver took the last.
struct Pinger {
    std::atomic<int64_t> sentAt{0};
    std::atomic<bool> taken{true};
    std::vector<int64_t> samples;
    void Run(int fd, int count) {
        char msg[8] = {'p', 'i', 'n', 'g', 'p', 'i', 'n', 'g'};
        for (int i = 0; i < count; ++i) {
            for (int spin = 0; !taken.load() && spin < 100000000; ++spin)
                std::this_thread::yield();
            taken = false;
            sentAt = NowNs();
            SendAll(fd, msg, sizeof msg);
        }
    }
    void FirstByte() {
        samples.push_back(NowNs() - sentAt.load());
        taken = true;
    }
};

void ReportLatency(benchmark::State& state, std::vector<int64_t>& samples) {
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    state.counters["median_us"] = static_cast<double>(samples[samples.size() / 2]) / 1000.0;
    state.counters["p99_us"] = static_cast<double>(samples[samples.size() * 99 / 100]) / 1000.0;
}

// ---- Raw blocking read ----------------------------------------------------------------

void RawThroughput(benchmark::State& state) {
    size_t chunk = static_cast<size_t>(state.range(0));
    size_t total = TotalFor(chunk);
    Pair pair;
    int fd = pair.ConnectRaw();
    pair.Accept();
    std::vector<char> buf(65536);
    for (auto _ : state) {
        std::thread sender([&] { Stream(pair.peer, chunk, total); });
        for (size_t got = 0; got < total;) {
            ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        sender.join();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
    ::close(fd);
}

void RawLatency(benchmark::State& state) {
    Pair pair;
    int fd = pair.ConnectRaw();
    pair.Accept();
    Pinger ping;
    char buf[64];
    for (auto _ : state) {
        ping.samples.clear();
        std::thread sender([&] { ping.Run(pair.peer, 2000); });
        for (int i = 0; i < 2000; ++i) {
            size_t got = 0;
            while (got < 8) {
                ssize_t n = ::recv(fd, buf, 8 - got, 0);
                if (n <= 0) break;
                if (got == 0) ping.FirstByte();
                got += static_cast<size_t>(n);
            }
        }
        sender.join();
    }
    ReportLatency(state, ping.samples);
    ::close(fd);
}

// ---- Single-threaded epoll loop into a ring ---------------------------------------------

struct EpollReader {
    int fd, ep;
    std::vector<char> ring = std::vector<char>(8192);
    size_t head = 0;
    explicit EpollReader(int socketFd) : fd(socketFd), ep(epoll_create1(EPOLL_CLOEXEC)) {
        int flags = fcntl(fd, F_GETFL);
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        epoll_event ev{};
        ev.events = EPOLLIN;
        epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
    }
    ~EpollReader() { ::close(ep); }
    // Waits for data and reads what there is into the ring (consumed at once).
    size_t Pass() {
        epoll_event ev;
        if (epoll_wait(ep, &ev, 1, 1000) <= 0) return 0;
        size_t got = 0;
        for (;;) {
            size_t room = ring.size() - head;
            ssize_t n = ::recv(fd, ring.data() + head, room, 0);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
            head = (head + static_cast<size_t>(n)) % ring.size();
            if (static_cast<size_t>(n) < room) break;
        }
        return got;
    }
};

void EpollThroughput(benchmark::State& state) {
    size_t chunk = static_cast<size_t>(state.range(0));
    size_t total = TotalFor(chunk);
    Pair pair;
    int fd = pair.ConnectRaw();
    pair.Accept();
    EpollReader reader(fd);
    for (auto _ : state) {
        std::thread sender([&] { Stream(pair.peer, chunk, total); });
        for (size_t got = 0; got < total;)
            got += reader.Pass();
        sender.join();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
    ::close(fd);
}

void EpollLatency(benchmark::State& state) {
    Pair pair;
    int fd = pair.ConnectRaw();
    pair.Accept();
    EpollReader reader(fd);
    Pinger ping;
    for (auto _ : state) {
        ping.samples.clear();
        std::thread sender([&] { ping.Run(pair.peer, 2000); });
        size_t got = 0;
        while (got < 2000 * 8) {
            size_t n = reader.Pass();
            if (n > 0) ping.FirstByte();
            got += n;
        }
        sender.join();
    }
    ReportLatency(state, ping.samples);
    ::close(fd);
}

// ---- The network port's device layer --------------------------------------------------

struct PortReceiver {
    winsys::EventLoop loop;
    winsys::HWND window = 0;
    std::unique_ptr<TWinsockDispatcher> port;
    Pair pair;
    bool useBlock = false;
    size_t got = 0, want = 0;
    bool connected = false;
    Pinger* ping = nullptr;
    std::vector<char> block = std::vector<char>(8192);

    PortReceiver() {
        window = loop.CreateWindow([this](winsys::HWND, uint32_t msg, winsys::WPARAM w,
                                          winsys::LPARAM) -> winsys::LRESULT {
            if (msg == SocketNotifyMsg && w == WsEventConnect) connected = true;
            if (msg != PortMsgAvail) return 0;
            if (ping && w > 0) ping->FirstByte();
            if (useBlock) {
                uint32_t n = static_cast<uint32_t>(std::min<size_t>(w, block.size()));
                if (port->GetBlock(block.data(), n) == static_cast<int32_t>(n)) got += n;
            } else {
                char c;
                for (size_t i = 0; i < w && port->GetChar(c) == 0; ++i)
                    ++got;
            }
            if (got >= want) loop.Quit();
            return 0;
        });
        port = std::make_unique<TWinsockDispatcher>(nullptr, &loop);
        port->InitSocketData(0, TInAddr{htonl(INADDR_LOOPBACK)}, htons(pair.port), true, false);
        port->InitSocket(4096, 4096);
        port->NotifyWindow = window;
        port->RegisterWndTriggerHandler(window);
        port->UpdateHandlerFlags(fuEnablePort);
        port->ChangeLengthTrigger(1);
        pair.Accept();
        for (int i = 0; i < 2000 && !connected; ++i)
            loop.RunFor(1);
    }
    ~PortReceiver() {
        port.reset();
        loop.DestroyWindow(window);
    }
    void RunUntil(size_t bytes) {
        want = bytes;
        loop.ResetQuit();
        if (got < want) loop.Run();
    }
};

void PortThroughput(benchmark::State& state, bool useBlock) {
    size_t chunk = static_cast<size_t>(state.range(0));
    size_t total = TotalFor(chunk);
    PortReceiver r;
    r.useBlock = useBlock;
    for (auto _ : state) {
        r.got = 0;
        std::thread sender([&] { Stream(r.pair.peer, chunk, total); });
        r.RunUntil(total);
        sender.join();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * total));
}

void PortGetCharThroughput(benchmark::State& state) {
    PortThroughput(state, false);
}
void PortGetBlockThroughput(benchmark::State& state) {
    PortThroughput(state, true);
}

void PortLatency(benchmark::State& state, bool useBlock) {
    PortReceiver r;
    r.useBlock = useBlock;
    Pinger ping;
    r.ping = &ping;
    for (auto _ : state) {
        ping.samples.clear();
        r.got = 0;
        std::thread sender([&] { ping.Run(r.pair.peer, 2000); });
        r.RunUntil(2000 * 8);
        sender.join();
    }
    ReportLatency(state, ping.samples);
}

void PortGetCharLatency(benchmark::State& state) {
    PortLatency(state, false);
}
void PortGetBlockLatency(benchmark::State& state) {
    PortLatency(state, true);
}

// An open, connected port with nothing to do: the CPU it takes while its loop waits.
void PortIdleCpu(benchmark::State& state) {
    PortReceiver r;
    for (auto _ : state) {
        timespec c0, c1;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
        int64_t w0 = NowNs();
        r.loop.RunFor(5000);
        int64_t w1 = NowNs();
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
        double cpuNs = (c1.tv_sec - c0.tv_sec) * 1e9 + static_cast<double>(c1.tv_nsec - c0.tv_nsec);
        state.counters["cpu_percent"] = 100.0 * cpuNs / static_cast<double>(w1 - w0);
    }
}

// The same loop with only a 50 ms timer that does nothing: the floor under the port.
void LoopIdleCpu(benchmark::State& state) {
    winsys::EventLoop loop;
    auto timer = loop.StartTimer(50, [] {});
    for (auto _ : state) {
        timespec c0, c1;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
        int64_t w0 = NowNs();
        loop.RunFor(5000);
        int64_t w1 = NowNs();
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
        double cpuNs = (c1.tv_sec - c0.tv_sec) * 1e9 + static_cast<double>(c1.tv_nsec - c0.tv_nsec);
        state.counters["cpu_percent"] = 100.0 * cpuNs / static_cast<double>(w1 - w0);
    }
    loop.StopTimer(timer);
}

// Collects the figures for the summary of ratios.
class Summary : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With repetitions only the medians count; without, the single run.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end()) rates[name] = rate->second.value;
            auto median = run.counters.find("median_us");
            if (median != run.counters.end()) medians[name] = median->second.value;
        }
    }
    void Print() const {
        std::printf("\nThroughput against the raw read at the same send size:\n");
        for (const char* size : {"8", "64", "4096"}) {
            double raw = Get(rates, std::string("RawThroughput/") + size);
            double raw4096 = Get(rates, "RawThroughput/4096");
            for (const char* kind :
                 {"EpollThroughput", "PortGetCharThroughput", "PortGetBlockThroughput"}) {
                double v = Get(rates, std::string(kind) + "/" + size);
                std::printf("  %-24s %5s B: %9.1f MB/s  x%.3f of raw  x%.3f of raw 4096\n", kind,
                            size, v / 1e6, raw > 0 ? v / raw : 0, raw4096 > 0 ? v / raw4096 : 0);
            }
        }
        double raw = Get(medians, "RawLatency");
        double epoll = Get(medians, "EpollLatency");
        std::printf("Median latency: raw %.1f us, epoll %.1f us\n", raw, epoll);
        for (const char* kind : {"PortGetCharLatency", "PortGetBlockLatency"}) {
            double v = Get(medians, kind);
            std::printf("  %-22s %.1f us  x%.2f of raw  %+.1f us against epoll\n", kind, v,
                        raw > 0 ? v / raw : 0, v - epoll);
        }
    }

  private:
    static double Get(const std::map<std::string, double>& m, const std::string& key) {
        auto it = m.find(key);
        return it == m.end() ? 0 : it->second;
    }
    std::map<std::string, double> rates, medians;
};

} // namespace

BENCHMARK(RawThroughput)->Arg(8)->Arg(64)->Arg(4096)->UseRealTime();
BENCHMARK(EpollThroughput)->Arg(8)->Arg(64)->Arg(4096)->UseRealTime();
BENCHMARK(PortGetCharThroughput)->Arg(8)->Arg(64)->Arg(4096)->UseRealTime();
BENCHMARK(PortGetBlockThroughput)->Arg(8)->Arg(64)->Arg(4096)->UseRealTime();
BENCHMARK(RawLatency)->Iterations(3)->UseRealTime();
BENCHMARK(EpollLatency)->Iterations(3)->UseRealTime();
BENCHMARK(PortGetCharLatency)->Iterations(3)->UseRealTime();
BENCHMARK(PortGetBlockLatency)->Iterations(3)->UseRealTime();
BENCHMARK(LoopIdleCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PortIdleCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    summary.Print();
    benchmark::Shutdown();
    return 0;
}
