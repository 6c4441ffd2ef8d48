// The operating system's texts behind the message table on Linux: strerror's.
#include "port/PortErrors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace port;

TEST(KoruLoadStrLinux, FallsBackToTheSystemsTextForTheNumber) {
    // 10000 has an empty table text, 13 no table row at all.
    EXPECT_EQ(KoruLoadStr(10000), std::string(std::strerror(10000)));
    EXPECT_EQ(KoruLoadStr(-13), "Permission denied");
}
