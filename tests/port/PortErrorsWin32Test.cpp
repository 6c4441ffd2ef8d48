// The operating system's texts behind the message table on Windows: the system's
// message texts, which end in a line break that the table's text must not keep.
#include "port/PortErrors.h"

#include <gtest/gtest.h>

#include <string>

using namespace port;

TEST(KoruLoadStrWin32, FallsBackToTheSystemsTextWithoutItsLineBreak) {
    for (int Number : {2, 5, 13, 10061}) {
        const std::string Text = KoruLoadStr(-Number);
        EXPECT_FALSE(Text.empty()) << Number;
        EXPECT_EQ(Text.find_first_of("\r\n"), std::string::npos) << Number;
        EXPECT_NE(Text.back(), ' ') << Number;
    }
}
