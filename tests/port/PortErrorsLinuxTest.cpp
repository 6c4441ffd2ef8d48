// The operating system's texts behind the message table on Linux: strerror's; and the
// file error numbers errno values become.
#include "port/PortErrors.h"
#include "port/TraceText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

using namespace port;

TEST(KoruLoadStrLinux, FallsBackToTheSystemsTextForTheNumber) {
    // 10000 has an empty table text, 13 no table row at all.
    EXPECT_EQ(KoruLoadStr(10000), std::string(std::strerror(10000)));
    EXPECT_EQ(KoruLoadStr(-13), "Permission denied");
}

TEST(FileErrorCodeLinux, ErrnoBecomesTheTablesFileErrorOrAnUnmistakableNumber) {
    struct Row {
        int Errno;
        int32_t Code;
    };
    const Row Rows[] =
        {
            {ENOENT, -2},  {ENOTDIR, -3},  {EMFILE, -4},   {EACCES, -5},
            {EISDIR, -5},  {ENOSPC, -101}, {EDQUOT, -101}, {EROFS, -150},
            {EIO, -160},   {EINTR, -162}, // 4 would read "Too many open files"
            {ENXIO, -162},                // 6 would read "Invalid file handle"
        };
    for (const Row& R : Rows)
        EXPECT_EQ(FileErrorCode(R.Errno), R.Code) << std::strerror(R.Errno);
}
