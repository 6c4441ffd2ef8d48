// The avail road's cost: bytes from the fake device through TComThread and TDispThread
// to a handler on the window thread, against a baseline in the same run: one thread
// reads a pipe with poll and read and hands the bytes to a second thread through a
// mutex and a condition variable, waiting until they are taken. The second thread
// takes them one at a time, each under the mutex, as a GetChar handler takes its
// bytes under the input ring's lock; a second reference takes the whole block at once
// under the mutex, as a GetBlock handler does.
//
// Every figure is one burst at a time: the producer delivers a burst and waits until
// the handler has taken all of it. Heap allocations are counted over the timed loops.
#include "AllocationCount.h"
#include "FakeDevice.h"

#include "winsys/EventLoop.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using port::testing::TFakeDevice;
using port::testing::TFakeDispatcher;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// What the producer waits for: the consumer has taken every byte delivered so far.
class Taken {
  public:
    void Add(uint64_t count) {
        {
            std::lock_guard lock(mutex_);
            taken_ += count;
        }
        changed_.notify_all();
    }
    void WaitFor(uint64_t total) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return taken_ >= total; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t taken_ = 0;
};

// ---- The baseline ------------------------------------------------------------------------

class PipeBaseline {
  public:
    enum Mode { ByteAtATime, WholeBlock };
    explicit PipeBaseline(Mode mode) : mode_(mode) {
        if (pipe(fds_) != 0) std::abort();
        reader_ = std::thread([this] { Reader(); });
        consumer_ = std::thread([this] { Consumer(); });
    }
    ~PipeBaseline() {
        close(fds_[1]); // the reader sees the end
        reader_.join();
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        consumer_.join();
        close(fds_[0]);
    }
    void Burst(const uint8_t* bytes, size_t count) {
        delivered_ += count;
        size_t at = 0;
        while (at < count) {
            ssize_t n = write(fds_[1], bytes + at, count - at);
            if (n <= 0) std::abort();
            at += static_cast<size_t>(n);
        }
        taken_.WaitFor(delivered_);
    }
    std::atomic<int64_t> firstByteNs{0};

  private:
    void Reader() {
        std::vector<uint8_t> buffer(65536);
        pollfd poller{fds_[0], POLLIN, 0};
        for (;;) {
            if (poll(&poller, 1, -1) < 0) continue;
            ssize_t n = read(fds_[0], buffer.data(), buffer.size());
            if (n <= 0) return;
            std::unique_lock lock(mutex_);
            data_ = buffer.data();
            available_ = static_cast<size_t>(n);
            changed_.notify_all();
            changed_.wait(lock, [&] { return available_ == 0; });
        }
    }
    void Consumer() {
        std::vector<uint8_t> sink(65536);
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return available_ != 0 || stop_; });
            if (stop_) return;
            size_t count = available_;
            if (mode_ == WholeBlock) {
                firstByteNs.store(NowNs(), std::memory_order_relaxed);
                std::copy(data_, data_ + count, sink.data());
                benchmark::DoNotOptimize(sink.data());
            } else {
                // The reader waits until available_ is 0, so data_ stays put meanwhile.
                lock.unlock();
                unsigned sum = 0;
                for (size_t i = 0; i < count; ++i) {
                    std::lock_guard byteLock(mutex_);
                    if (i == 0) firstByteNs.store(NowNs(), std::memory_order_relaxed);
                    sum += data_[i];
                }
                benchmark::DoNotOptimize(sum);
                lock.lock();
            }
            available_ = 0;
            changed_.notify_all();
            taken_.Add(count);
        }
    }

    Mode mode_;
    int fds_[2];
    std::thread reader_, consumer_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const uint8_t* data_ = nullptr;
    size_t available_ = 0;
    bool stop_ = false;
    uint64_t delivered_ = 0;
    Taken taken_;
};

// ---- The engine --------------------------------------------------------------------------

// A window thread with its loop, a dispatcher on the fake device with its three threads,
// and a notify window whose handler takes every announced byte.
class EngineHarness {
  public:
    enum Mode { ByGetChar, ByGetBlock };
    explicit EngineHarness(Mode mode) : mode_(mode) {
        window_ = std::thread([this] { WindowThread(); });
        std::unique_lock lock(readyMutex_);
        readyChanged_.wait(lock, [&] { return loop_ != nullptr; });
    }
    ~EngineHarness() {
        loop_.load()->Quit();
        window_.join();
    }
    void Burst(const uint8_t* bytes, size_t count) {
        delivered_ += count;
        while (!device_.Deliver(bytes, count))
            std::this_thread::yield();
        taken_.WaitFor(delivered_);
    }
    std::atomic<int64_t> firstByteNs{0};

  private:
    void WindowThread() {
        winsys::EventLoop loop;
        winsys::EventLoop::SetCurrent(&loop);
        std::vector<uint8_t> block(port::InRingSize);
        TFakeDispatcher* dispatcher = nullptr;
        winsys::HWND window = loop.CreateWindow(
            [&](winsys::HWND, uint32_t msg, winsys::WPARAM w, winsys::LPARAM) -> winsys::LRESULT {
                if (msg != port::PortMsgAvail) return 0;
                auto count = static_cast<uint32_t>(w);
                if (mode_ == ByGetBlock) {
                    dispatcher->GetBlock(block.data(), count);
                    firstByteNs.store(NowNs(), std::memory_order_relaxed);
                } else {
                    unsigned sum = 0;
                    char c;
                    for (uint32_t i = 0; i < count && dispatcher->GetChar(c) == 0; ++i) {
                        if (i == 0) firstByteNs.store(NowNs(), std::memory_order_relaxed);
                        sum += static_cast<unsigned char>(c);
                    }
                    benchmark::DoNotOptimize(sum);
                }
                taken_.Add(count);
                return 0;
            });
        {
            TFakeDispatcher port(device_, true, nullptr, &loop);
            dispatcher = &port;
            if (port.Open(115200, 4096) != 0) std::abort();
            port.RegisterWndTriggerHandler(window);
            port.UpdateHandlerFlags(port::fuEnablePort);
            port.ChangeLengthTrigger(1);
            {
                std::lock_guard lock(readyMutex_);
                loop_ = &loop;
            }
            readyChanged_.notify_all();
            loop.Run();
        }
        loop.DestroyWindow(window);
        winsys::EventLoop::SetCurrent(nullptr);
    }

    Mode mode_;
    TFakeDevice device_;
    std::thread window_;
    std::mutex readyMutex_;
    std::condition_variable readyChanged_;
    std::atomic<winsys::EventLoop*> loop_{nullptr};
    uint64_t delivered_ = 0;
    Taken taken_;
};

// ---- Figures -------------------------------------------------------------------------------
//
// The machine is shared, so its load changes while the figures are taken. Each
// benchmark therefore keeps every harness alive and runs them in turn, burst after
// burst: the baseline and the engine see the same load, and their ratio holds.

std::map<std::string, std::vector<double>> figures;
std::vector<std::string> order;

void Record(const std::string& name, double value) {
    if (!figures.count(name)) order.push_back(name);
    figures[name].push_back(value);
}

double Median(const std::string& name) {
    auto it = figures.find(name);
    if (it == figures.end() || it->second.empty()) return 0;
    std::vector<double> values = it->second;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::vector<uint8_t> BurstBytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    return bytes;
}

template <class Harness> double TimedBurst(Harness& harness, const uint8_t* bytes, size_t count) {
    auto start = Clock::now();
    harness.Burst(bytes, count);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_Throughput(benchmark::State& state) {
    auto count = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> bytes = BurstBytes(count);
    PipeBaseline baseline(PipeBaseline::ByteAtATime);
    PipeBaseline blockBaseline(PipeBaseline::WholeBlock);
    EngineHarness getChar(EngineHarness::ByGetChar);
    EngineHarness getBlock(EngineHarness::ByGetBlock);
    baseline.Burst(bytes.data(), count);
    blockBaseline.Burst(bytes.data(), count);
    getChar.Burst(bytes.data(), count);
    getBlock.Burst(bytes.data(), count);

    double seconds[4] = {0, 0, 0, 0};
    uint64_t engineAllocations = 0;
    for (auto _ : state) {
        seconds[0] += TimedBurst(baseline, bytes.data(), count);
        seconds[1] += TimedBurst(blockBaseline, bytes.data(), count);
        uint64_t before = bench::Allocations.load();
        seconds[2] += TimedBurst(getChar, bytes.data(), count);
        seconds[3] += TimedBurst(getBlock, bytes.data(), count);
        engineAllocations += bench::Allocations.load() - before;
    }
    double total = static_cast<double>(state.iterations()) * static_cast<double>(count);
    double mbs[4];
    for (int i = 0; i < 4; ++i)
        mbs[i] = total / seconds[i] / 1e6;
    std::string size = std::to_string(count) + "-byte bursts";
    Record("baseline " + size, mbs[0]);
    Record("block baseline " + size, mbs[1]);
    Record("GetChar handler " + size, mbs[2]);
    Record("GetBlock handler " + size, mbs[3]);
    Record("ratio GetChar " + size, mbs[2] / mbs[0]);
    Record("ratio GetBlock " + size, mbs[3] / mbs[0]);
    Record("block ratio GetChar " + size, mbs[2] / mbs[1]);
    Record("block ratio GetBlock " + size, mbs[3] / mbs[1]);
    state.counters["baseline_MB/s"] = mbs[0];
    state.counters["block_MB/s"] = mbs[1];
    state.counters["GetChar_MB/s"] = mbs[2];
    state.counters["GetBlock_MB/s"] = mbs[3];
    state.counters["GetChar_x_baseline"] = mbs[2] / mbs[0];
    state.counters["GetBlock_x_baseline"] = mbs[3] / mbs[0];
    state.counters["engine_allocs/burst"] =
        static_cast<double>(engineAllocations) / (2.0 * static_cast<double>(state.iterations()));
}

void BM_Latency(benchmark::State& state) {
    PipeBaseline baseline(PipeBaseline::ByteAtATime);
    EngineHarness engine(EngineHarness::ByGetChar);
    uint8_t byte = 0x55;
    baseline.Burst(&byte, 1);
    engine.Burst(&byte, 1);
    std::vector<double> base, ours;
    base.reserve(static_cast<size_t>(state.max_iterations));
    ours.reserve(static_cast<size_t>(state.max_iterations));
    uint64_t engineAllocations = 0;
    for (auto _ : state) {
        int64_t sent = NowNs();
        baseline.Burst(&byte, 1);
        base.push_back(static_cast<double>(baseline.firstByteNs.load() - sent) / 1000.0);
        uint64_t before = bench::Allocations.load();
        sent = NowNs();
        engine.Burst(&byte, 1);
        ours.push_back(static_cast<double>(engine.firstByteNs.load() - sent) / 1000.0);
        engineAllocations += bench::Allocations.load() - before;
    }
    auto percentile = [](std::vector<double>& v, size_t per100) {
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, v.size() * per100 / 100)];
    };
    double baseMedian = percentile(base, 50), baseP99 = percentile(base, 99);
    double median = percentile(ours, 50), p99 = percentile(ours, 99);
    Record("baseline latency median", baseMedian);
    Record("baseline latency p99", baseP99);
    Record("hand-off latency median", median);
    Record("hand-off latency p99", p99);
    Record("ratio latency median", median / baseMedian);
    Record("ratio latency p99", p99 / baseP99);
    state.counters["baseline_median_us"] = baseMedian;
    state.counters["baseline_p99_us"] = baseP99;
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    state.counters["median_x_baseline"] = median / baseMedian;
    state.counters["engine_allocs/burst"] =
        static_cast<double>(engineAllocations) / static_cast<double>(state.iterations());
}

// Fixed iteration counts: every run is measured (no calibration runs in the medians).
constexpr int Repetitions = 3;
BENCHMARK(BM_Throughput)
    ->Arg(8)
    ->Arg(64)
    ->Arg(4096)
    ->Iterations(4000)
    ->Repetitions(Repetitions)
    ->UseRealTime();
BENCHMARK(BM_Latency)->Iterations(4000)->Repetitions(Repetitions)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Medians over the repetitions; each ratio is the median of the per-run ratios.
    std::printf("\n%-36s %12s %11s %17s\n", "figure (median of runs)", "value", "x baseline",
                "x block baseline");
    for (const std::string& name : order) {
        if (name.rfind("ratio", 0) == 0 || name.rfind("block ratio", 0) == 0) continue;
        bool latency = name.find("latency") != std::string::npos;
        std::printf("%-36s %7.2f %s", name.c_str(), Median(name), latency ? "us  " : "MB/s");
        std::string figure = name;
        for (const char* handler : {"GetChar", "GetBlock"})
            if (name.rfind(handler, 0) == 0)
                figure = std::string(handler) + name.substr(name.find(" handler") + 8);
        if (name.rfind("hand-off latency", 0) == 0) figure = name.substr(9);
        double ratio = Median("ratio " + figure);
        double block = Median("block ratio " + figure);
        if (ratio > 0) std::printf(" %10.2f", ratio);
        if (block > 0) std::printf(" %16.2f", block);
        std::printf("\n");
    }
    return 0;
}
