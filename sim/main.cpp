// rvex-sim: the simulated R-VEX field module, its meter and its LAN module.
#include "Options.h"
#include "RegisterMap.h"
#include "Simulator.h"
#include "TrafficLog.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool WriteReadyFile(const std::string& path, const std::string& text) {
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << text;
        if (!out.flush()) return false;
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = sim::ParseOptions(args, Env("HOME"), Env("RVEX_COM_DIR"));
    if (auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "rvex-sim: %s\n%s", error->c_str(), sim::Usage().c_str());
        return 2;
    }
    const sim::Options& options = std::get<sim::Options>(parsed);
    if (options.help) {
        std::fputs(sim::Usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs("rvex-sim " RVEX_VERSION "\n", stdout);
        return 0;
    }
    if (options.printMap) {
        sim::Measurements measurements(true);
        sim::ModuleConfig config;
        for (const auto& [key, value] : options.settings)
            config.Set(key, value);
        std::fputs(sim::RegisterMap(measurements).Describe(0, config.Serial1()).c_str(), stdout);
        return 0;
    }

    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    int stopFd = signalfd(-1, &stops, SFD_CLOEXEC);
    if (stopFd < 0) {
        std::perror("rvex-sim: signalfd");
        return 1;
    }

    sim::TrafficLog log(stdout);
    int status = 0;
    {
        sim::Simulator simulator(options, log);
        if (auto error = simulator.Start()) {
            std::fprintf(stderr, "rvex-sim: %s\n", error->c_str());
            return 1;
        }
        if (!options.readyFile.empty() &&
            !WriteReadyFile(options.readyFile, simulator.ReadyText())) {
            std::fprintf(stderr, "rvex-sim: cannot write %s\n", options.readyFile.c_str());
            return 1;
        }
        log.Plain("ready");
        simulator.Run(stopFd);
    }
    if (!options.readyFile.empty()) std::remove(options.readyFile.c_str());
    close(stopFd);
    return status;
}
