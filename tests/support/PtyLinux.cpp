#include "Pty.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

PtyPair::PtyPair() {
    char name[128];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty failed: ") + std::strerror(errno));
    slavePath_ = name;
    termios raw{};
    if (tcgetattr(slave_, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
    }
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
}

void PtyPair::CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

bool PtyPair::WriteMaster(const std::string& bytes, const std::function<void()>& whileFull) {
    size_t at = 0;
    for (int round = 0; round < 10000 && at < bytes.size(); ++round) {
        const ssize_t n = write(master_, bytes.data() + at, bytes.size() - at);
        if (n > 0) {
            at += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        } else if (whileFull) {
            whileFull();
        } else {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 10);
        }
    }
    return at == bytes.size();
}

std::string PtyPair::ReadMaster(size_t count, int silenceMs) {
    std::string got;
    for (int round = 0; round < 1000 && got.size() < count; ++round) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, silenceMs) <= 0) break;
        char buf[4096];
        const ssize_t n = read(master_, buf, std::min(sizeof buf, count - got.size()));
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

} // namespace testsupport
