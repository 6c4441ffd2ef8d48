// rvex-sim in one process: the field module and its meter behind the pty and
// the LAN module's three servers, all served by one poll loop on one thread.
#pragma once

#include "FieldModule.h"
#include "Line.h"
#include "Measurements.h"
#include "Meter.h"
#include "ModuleConfig.h"
#include "Options.h"
#include "Pins.h"
#include "PtyPort.h"
#include "RciHttp.h"
#include "RegisterMap.h"
#include "TrafficLog.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace sim {

class Simulator {
  public:
    Simulator(const Options& options, TrafficLog& log);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the pty, publishes the COM link and starts listening on every
    // server; the error text when any of that fails.
    std::optional<std::string> Start();

    // "key value" lines describing the endpoints (pty, com, ports, pid), ending
    // with "ready": the ready file's content.
    std::string ReadyText() const;

    // Serves until stopFd (a signalfd) becomes readable; closes everything and
    // removes the COM link before returning.
    void Run(int stopFd);

  private:
    enum class Service { RtuTcp, ModbusTcp, Rci };

    struct Listener {
        Service service;
        const char* name;
        int port; // the requested port, then the one bound (kept across reboots)
        int fd = -1;
    };

    struct Connection {
        int id = 0;
        int fd = -1;
        Service service = Service::RtuTcp;
        std::string name;
        Bytes out;
        std::unique_ptr<Line> line; // RTU OVER TCP
        MbapSplitter mbap;          // Modbus TCP
        HttpRequestReader http;     // RCI
        bool answered = false;      // RCI: request taken, the rest is ignored
        std::string body;           // RCI: the chunked body, sent after the gap
        std::optional<Millis> bodyAt;
        bool rebootAfter = false;
        bool finishing = false; // everything queued: shut down once written
        bool draining = false;  // write side shut down, waiting for the peer to close
        Millis drainUntil = 0;
        bool dead = false;
    };

    Millis Now() const;
    std::optional<std::string> Listen(Listener& listener);
    void CloseListeners();
    void Accept(Listener& listener);
    void OnReadable(Connection& c);
    void OnRci(Connection& c, Millis now);
    void Flush(Connection& c);
    void FlushPty();
    void ReadPty();
    void SendPty(const Bytes& bytes);
    void Serve(const std::string& endpoint, std::vector<Exchange> exchanges, Connection* c);
    void Close(Connection& c);
    void StartReboot(Millis now);
    void Timers(Millis now);
    std::optional<Millis> NextDeadline() const;
    void ApplyLineSetting();

    Options options_;
    TrafficLog& log_;
    std::chrono::steady_clock::time_point start_;

    Measurements measurements_;
    ModuleConfig config_;
    RegisterMap map_;
    Pins pins_;
    FieldModule module_;
    Meter meter_;

    std::unique_ptr<PtyPort> pty_;
    std::unique_ptr<ComLink> link_;
    std::unique_ptr<Line> serial_;
    Bytes ptyOut_;

    std::vector<Listener> listeners_;
    std::map<int, std::unique_ptr<Connection>> connections_;
    int nextId_ = 1;
    bool rebootRequested_ = false;
    std::optional<Millis> rebootUntil_;
};

} // namespace sim
