// Whether the display the environment names is there: local Wayland sockets and X
// displays over TCP on 127.0.0.1, each with a listener of the test's own.
#include "app/DisplayProbe.h"
#include "FormFixture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

using namespace fakes;

namespace {

int ListenLocal(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A listener on 127.0.0.1 at 6000 + the display number it gives back, or -1.
int ListenXDisplay(int& number) {
    for (number = 40; number < 100; ++number) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(6000 + number));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 4) == 0)
            return fd;
        ::close(fd);
    }
    return -1;
}

TEST(DisplayProbe, AWaylandSocketIsThereWhileSomethingListens) {
    ScratchDirectory dir;
    int fd = ListenLocal(dir.Path() + "/wayland-7");
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(app::WaylandDisplayReachable("wayland-7", dir.Path()));
    EXPECT_TRUE(app::WaylandDisplayReachable(dir.Path() + "/wayland-7", ""));
    EXPECT_FALSE(app::WaylandDisplayReachable("wayland-8", dir.Path()));
    EXPECT_FALSE(app::WaylandDisplayReachable("wayland-7", "")); // no runtime folder
    ::close(fd);
    EXPECT_FALSE(app::WaylandDisplayReachable("wayland-7", dir.Path()));
}

TEST(DisplayProbe, AnXDisplayOnAHostIsItsTcpPort) {
    int number = 0;
    int fd = ListenXDisplay(number);
    ASSERT_GE(fd, 0);
    const std::string display = "127.0.0.1:" + std::to_string(number);
    EXPECT_TRUE(app::XDisplayReachable(display));
    EXPECT_TRUE(app::XDisplayReachable(display + ".0"));
    ::close(fd);
    EXPECT_FALSE(app::XDisplayReachable(display));
    // Names of another form are left to the front end.
    for (const char* other : {"nodisplay", "127.0.0.1:x", "/private/tmp/launch/org.x:0"})
        EXPECT_TRUE(app::XDisplayReachable(other)) << other;
}

} // namespace
