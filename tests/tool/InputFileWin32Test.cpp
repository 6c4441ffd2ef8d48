// Input files on Windows: read as the bytes they hold, a read-only file too, and only
// regular files.
#include "tool/InputFile.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string ReadAll(std::FILE* file) {
    std::string text;
    char buffer[64];
    for (int round = 0; round < 1000; ++round) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, file);
        if (n == 0) break;
        text.append(buffer, n);
    }
    return text;
}

} // namespace

TEST(InputFilesWin32, AReadOnlyFileIsReadByteForByteWithItsCarriageReturns) {
    testsupport::ScratchDirectory dir;
    const std::string bytes = "line 1\r\nline 2\n\x1a tail";
    std::ofstream("Table1.c", std::ios::binary) << bytes;
    std::filesystem::permissions("Table1.c", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    std::FILE* file = tool::OpenInputFile("Table1.c");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), bytes);
    std::fclose(file);
    std::filesystem::permissions("Table1.c", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

TEST(InputFilesWin32, AFolderOrAMissingNameIsUnopenable) {
    testsupport::ScratchDirectory dir;
    std::filesystem::create_directory("Config1.c");
    EXPECT_EQ(tool::OpenInputFile("Config1.c"), nullptr);
    EXPECT_EQ(tool::OpenInputFileDescriptor("Config1.c"), -1);
    EXPECT_EQ(tool::OpenInputFile("Table2.c"), nullptr);
}
