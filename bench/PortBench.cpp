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

// ---- Allocation counting -------------------------------------------------------------

namespace {
std::atomic<uint64_t> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
// The counting operator new takes its memory from malloc, so free is its match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

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

// Every run of a figure (repetitions included) is kept; the summary prints medians.
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

std::string SizeName(const char* what, int64_t size) {
    return std::string(what) + " " + std::to_string(size) + "-byte bursts";
}

std::vector<uint8_t> BurstBytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    return bytes;
}

template <class Harness> double Throughput(benchmark::State& state, Harness& harness) {
    auto count = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> bytes = BurstBytes(count);
    harness.Burst(bytes.data(), count); // warm up
    uint64_t allocationsBefore = allocations.load();
    auto start = Clock::now();
    for (auto _ : state)
        harness.Burst(bytes.data(), count);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    uint64_t allocated = allocations.load() - allocationsBefore;
    auto iterations = static_cast<double>(state.iterations());
    double bytesPerSecond = iterations * static_cast<double>(count) / seconds;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(count));
    state.counters["MB/s"] = bytesPerSecond / 1e6;
    state.counters["allocs/burst"] = static_cast<double>(allocated) / iterations;
    return bytesPerSecond / 1e6;
}

template <class Harness>
void Latency(benchmark::State& state, Harness& harness, double& median, double& p99) {
    uint8_t byte = 0x55;
    std::vector<double> samples;
    samples.reserve(100000);
    harness.Burst(&byte, 1);
    uint64_t allocationsBefore = allocations.load();
    for (auto _ : state) {
        int64_t sent = NowNs();
        harness.Burst(&byte, 1);
        double us = static_cast<double>(harness.firstByteNs.load() - sent) / 1000.0;
        if (samples.size() < samples.capacity()) samples.push_back(us);
    }
    uint64_t allocated = allocations.load() - allocationsBefore;
    std::sort(samples.begin(), samples.end());
    median = samples[samples.size() / 2];
    p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    state.counters["allocs/burst"] =
        static_cast<double>(allocated) / static_cast<double>(state.iterations());
}

void BM_Baseline_Throughput(benchmark::State& state) {
    PipeBaseline baseline(PipeBaseline::ByteAtATime);
    Record(SizeName("baseline", state.range(0)), Throughput(state, baseline));
}

void BM_BlockBaseline_Throughput(benchmark::State& state) {
    PipeBaseline baseline(PipeBaseline::WholeBlock);
    Record(SizeName("block baseline", state.range(0)), Throughput(state, baseline));
}

void BM_Baseline_Latency(benchmark::State& state) {
    PipeBaseline baseline(PipeBaseline::ByteAtATime);
    double median = 0, p99 = 0;
    Latency(state, baseline, median, p99);
    Record("baseline latency median", median);
    Record("baseline latency p99", p99);
}

void EngineThroughput(benchmark::State& state, EngineHarness::Mode mode, const char* name) {
    EngineHarness engine(mode);
    double mbs = Throughput(state, engine);
    double base = Median(SizeName("baseline", state.range(0)));
    double block = Median(SizeName("block baseline", state.range(0)));
    state.counters["x_baseline"] = base > 0 ? mbs / base : 0;
    state.counters["x_block_baseline"] = block > 0 ? mbs / block : 0;
    Record(SizeName(name, state.range(0)), mbs);
}

void BM_Engine_GetChar(benchmark::State& state) {
    EngineThroughput(state, EngineHarness::ByGetChar, "GetChar handler");
}
void BM_Engine_GetBlock(benchmark::State& state) {
    EngineThroughput(state, EngineHarness::ByGetBlock, "GetBlock handler");
}

void BM_Engine_Latency(benchmark::State& state) {
    EngineHarness engine(EngineHarness::ByGetChar);
    double median = 0, p99 = 0;
    Latency(state, engine, median, p99);
    double baseMedian = Median("baseline latency median");
    double baseP99 = Median("baseline latency p99");
    state.counters["median_x_baseline"] = baseMedian > 0 ? median / baseMedian : 0;
    state.counters["p99_x_baseline"] = baseP99 > 0 ? p99 / baseP99 : 0;
    Record("hand-off latency median", median);
    Record("hand-off latency p99", p99);
}

// The baselines of each figure: the same burst size, or the baseline's latency.
std::string BaselineOf(const std::string& name, const char* which) {
    if (name.find("baseline") != std::string::npos) return name;
    if (name == "hand-off latency median") return "baseline latency median";
    if (name == "hand-off latency p99") return "baseline latency p99";
    return which + name.substr(name.find(" handler") + 8);
}

// The baselines run first, so the engine's figures can be set against them. Fixed
// iteration counts: every run is a measured run (no calibration runs in the medians).
constexpr int Repetitions = 5;
BENCHMARK(BM_Baseline_Throughput)
    ->Arg(8)
    ->Arg(64)
    ->Arg(4096)
    ->Iterations(10000)
    ->Repetitions(Repetitions)
    ->UseRealTime();
BENCHMARK(BM_BlockBaseline_Throughput)
    ->Arg(8)
    ->Arg(64)
    ->Arg(4096)
    ->Iterations(10000)
    ->Repetitions(Repetitions)
    ->UseRealTime();
BENCHMARK(BM_Baseline_Latency)->Iterations(5000)->Repetitions(Repetitions)->UseRealTime();
BENCHMARK(BM_Engine_GetChar)
    ->Arg(8)
    ->Arg(64)
    ->Arg(4096)
    ->Iterations(10000)
    ->Repetitions(Repetitions)
    ->UseRealTime();
BENCHMARK(BM_Engine_GetBlock)
    ->Arg(8)
    ->Arg(64)
    ->Arg(4096)
    ->Iterations(10000)
    ->Repetitions(Repetitions)
    ->UseRealTime();
BENCHMARK(BM_Engine_Latency)->Iterations(5000)->Repetitions(Repetitions)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Medians over the runs (use --benchmark_repetitions=N for more of them).
    std::printf("\n%-36s %12s %11s %17s\n", "figure (median of runs)", "value", "x baseline",
                "x block baseline");
    for (const std::string& name : order) {
        double value = Median(name);
        double base = Median(BaselineOf(name, "baseline"));
        double block = Median(BaselineOf(name, "block baseline"));
        bool latency = name.find("latency") != std::string::npos;
        std::printf("%-36s %7.2f %s %10.2f", name.c_str(), value, latency ? "us  " : "MB/s",
                    base > 0 ? value / base : 0.0);
        if (!latency && block > 0) std::printf(" %16.2f", value / block);
        std::printf("\n");
    }
    return 0;
}
