#include "PtyPort.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

struct LineRow {
    speed_t speed;
    const char* baud;
    char parity; // N, E or O
    int stopBits;
};

LineRow RowOf(int index) {
    static const LineRow rows[] = {
        {B9600, "9600", 'N', 1},   {B9600, "9600", 'N', 2},   {B9600, "9600", 'E', 1},
        {B9600, "9600", 'O', 1},   {B19200, "19200", 'N', 1}, {B19200, "19200", 'N', 2},
        {B19200, "19200", 'E', 1}, {B19200, "19200", 'O', 1},
    };
    if (index >= 1 && index <= 8) return rows[index - 1];
    return {B19200, "19200", 'N', 1};
}

std::string Describe(const LineRow& row, char parity) {
    return std::string(row.baud) + "," + parity + ",8," + std::to_string(row.stopBits);
}

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

std::variant<std::unique_ptr<PtyPort>, std::string> PtyPort::Open() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return ErrnoText("openpty");
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    int flags = fcntl(master, F_GETFL);
    fcntl(master, F_SETFL, flags | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, name, IN_OPEN | IN_CLOSE) < 0) {
        std::string error = ErrnoText("inotify on the pty");
        if (watch >= 0) close(watch);
        close(master);
        close(slave);
        return error;
    }
    return std::unique_ptr<PtyPort>(new PtyPort(master, slave, watch, name));
}

PtyPort::~PtyPort() {
    close(watch_);
    close(master_);
    close(slave_);
}

int PtyPort::OnWatch() {
    alignas(inotify_event) char buf[4096];
    int before = clients_;
    for (;;) {
        ssize_t n = read(watch_, buf, sizeof buf);
        if (n <= 0) break;
        for (char* p = buf; p < buf + n;) {
            auto* event = reinterpret_cast<inotify_event*>(p);
            if (event->mask & IN_OPEN) ++clients_;
            if (event->mask & IN_CLOSE) clients_ = clients_ > 0 ? clients_ - 1 : 0;
            if (event->mask & IN_Q_OVERFLOW) clients_ = 0;
            p += sizeof(inotify_event) + event->len;
        }
    }
    if (clients_ == 0 && before > 0) {
        ioctl(slave_, TIOCNXCL);
        return -1;
    }
    return before == 0 && clients_ > 0 ? 1 : 0;
}

std::string PtyPort::ApplyLine(int index) {
    LineRow row = RowOf(index);
    termios tio{};
    if (tcgetattr(slave_, &tio) != 0) return ErrnoText("tcgetattr");
    cfmakeraw(&tio);
    cfsetispeed(&tio, row.speed);
    cfsetospeed(&tio, row.speed);
    tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS8 | CREAD | CLOCAL;
    if (row.stopBits == 2) {
        tio.c_cflag |= CSTOPB;
    } else {
        tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    }
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD);
    termios withParity = tio;
    if (row.parity != 'N') {
        withParity.c_cflag |= PARENB;
        if (row.parity == 'O') withParity.c_cflag |= PARODD;
        if (tcsetattr(slave_, TCSANOW, &withParity) == 0) return Describe(row, row.parity);
    }
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) return ErrnoText("tcsetattr");
    if (row.parity != 'N') {
        return Describe(row, 'N') + " (the pty refuses parity " + row.parity +
               "; bytes pass unchanged)";
    }
    return Describe(row, 'N');
}

std::variant<std::unique_ptr<ComLink>, std::string>
ComLink::Publish(const std::string& folder, int number, const std::string& target, bool replace) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return "cannot create " + folder + ": " + ec.message();
    std::string path = (fs::path(folder) / ("COM" + std::to_string(number))).string();
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) return path + " exists and is not a link; not touching it";
        std::error_code dangling;
        bool live = fs::exists(fs::path(path), dangling);
        if (live && !replace) {
            std::string old = fs::read_symlink(path, dangling).string();
            return path + " already points at " + old +
                   " (another simulator or a real port?); choose another --com or use "
                   "--replace-link";
        }
        if (unlink(path.c_str()) != 0) return ErrnoText("cannot remove " + path);
    }
    if (symlink(target.c_str(), path.c_str()) != 0) return ErrnoText("cannot create " + path);
    return std::unique_ptr<ComLink>(new ComLink(path, target));
}

ComLink::~ComLink() {
    char buf[4096];
    ssize_t n = readlink(path_.c_str(), buf, sizeof buf - 1);
    if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == target_) unlink(path_.c_str());
}

} // namespace sim
