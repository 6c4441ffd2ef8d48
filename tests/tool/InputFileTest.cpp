// The files the tool reads from its working folder: read-only ones are read, and
// names that are no regular file (a FIFO, a device, a directory) are unopenable at
// once, so the start-up never waits on them.
#include "tool/InputFile.h"
#include "FormFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <thread>

using namespace fakes;

namespace {

// Runs Check where the file Name may be read but not written, and gives its result.
// File modes do not stop root, so as root the check runs in a child process that has
// given up root for an ordinary user.
bool WithReadOnlyFile(const std::string& name, const std::function<bool()>& check) {
    if (::chmod(name.c_str(), 0444) != 0) return false;
    if (::geteuid() != 0) return check();
    ::chmod(".", 0755); // the ordinary user must reach the file
    pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        constexpr uid_t Nobody = 65534;
        bool ok = ::setresgid(Nobody, Nobody, Nobody) == 0 &&
                  ::setresuid(Nobody, Nobody, Nobody) == 0 &&
                  ::open(name.c_str(), O_RDWR | O_CLOEXEC) < 0 && check();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    for (int i = 0; i < 1000 && ::waitpid(child, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (::waitpid(child, &status, WNOHANG) == 0) { // still running after 10 s
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Calls Open while a watchdog stands by: when Open still runs after a second, each
// FIFO is released by opening its other end and filling it with line breaks (enough to
// end any read of a whole file), and the open counts as having blocked.
template <class Open>
bool OpensWithoutBlocking(std::initializer_list<const char*> fifos, Open open) {
    std::atomic<bool> done{false}, released{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 100 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::string filler(16384, '\n');
        for (int i = 0; i < 500 && !done; ++i) {
            for (const char* fifo : fifos) {
                int fd = ::open(fifo, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd < 0) continue;
                released = true;
                (void)!::write(fd, filler.data(), filler.size());
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    open();
    done = true;
    watchdog.join();
    return !released;
}

class InputFiles : public FormFixture {};

TEST_F(InputFiles, AReadOnlyTableAndConfig1AreRead) {
    WriteFile("Table1.c", "\n>454 d 4<X1><Y1>\n");
    EXPECT_TRUE(WithReadOnlyFile("Table1.c", [&] {
        form->Button40.Click();
        return form->StringGrid3.Cell(1, 1) == "454";
    }));
    WriteFile("Config1.c", "ModAdd: 12\r\n");
    EXPECT_TRUE(WithReadOnlyFile("Config1.c", [&] {
        form->Button23.Click();
        return form->Edit10.Text() == "12" && form->StatusBar1.Text() == "    READ CONFIG1 FILE";
    }));
}

TEST_F(InputFiles, AFifoNamedConfig1OrTable1IsUnopenableAndTheStartUpGoesOn) {
    WriteGlyphs();
    ASSERT_EQ(::mkfifo("Config1.c", 0644), 0);
    ASSERT_EQ(::mkfifo("Table1.c", 0644), 0);
    EXPECT_TRUE(OpensWithoutBlocking({"Config1.c", "Table1.c"}, [&] { form->FormCreate(); }));
    EXPECT_EQ(form->StatusBar1.Text(), "    Cannot open CONFIG1 FILE");
    EXPECT_EQ(form->StringGrid3.Cell(0, 1), "1");
    EXPECT_EQ(form->StringGrid3.Cell(1, 1), " ");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(InputFiles, OnlyRegularFilesOpen) {
    WriteFile("plain", "x");
    ASSERT_EQ(::mkfifo("fifo", 0644), 0);
    std::filesystem::create_directory("folder");
    std::filesystem::create_symlink("/dev/null", "device");
    std::filesystem::create_symlink("plain", "link");
    for (const char* name : {"fifo", "folder", "device", "missing"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(
            OpensWithoutBlocking({name}, [&] { EXPECT_EQ(tool::OpenInputFile(name), nullptr); }));
    }
    for (const char* name : {"plain", "link"}) { // a link to a regular file is one
        SCOPED_TRACE(name);
        std::FILE* file = tool::OpenInputFile(name);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(std::fgetc(file), 'x');
        std::fclose(file);
    }
}

TEST_F(InputFiles, TheTableNoticeGoesWithTheTableItDescribed) {
    std::string longTable = "\n";
    for (int i = 1; i <= 320; ++i)
        longTable += ">" + std::to_string(i) + " i 1<o><n>\n";
    WriteFile("Table1.c", longTable);
    WriteFile("Table2.c", "\n>7 i 1<o><n>\n");
    const std::string notice =
        "    Table1.c: only the first 299 entries loaded, the rest was left out";

    form->Button40.Click();
    EXPECT_EQ(form->StatusBar1.Text(), notice);
    form->Button7.Click(); // complete: the notice goes with the table
    EXPECT_EQ(form->StatusBar1.Text(), "");
    EXPECT_EQ(form->StringGrid3.Cell(1, 1), "7");

    form->Button40.Click();
    form->StatusBar1.SetText("    another status");
    form->Button7.Click(); // a status that took the notice's place stays
    EXPECT_EQ(form->StatusBar1.Text(), "    another status");
}

} // namespace
