// The commissioning record's files on Linux where the system refuses them: a log on a
// full device, a log name taken by a FIFO, an export into a folder the user may not
// write.
#include "CommissioningFixture.h"
#include "winsys/Exception.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace fakes;
namespace fs = std::filesystem;

namespace {

using RecordLinux = CommissioningFixture;

TEST_F(RecordLinux, AWriteThatFailsIsReportedOnceAndRecordingStops) {
    fs::create_symlink("/dev/full", "traffico-" + Stamp() + ".log");
    commissioning->StartRecording();
    ASSERT_TRUE(commissioning->Recording());
    RequestRow(1); // its line cannot be written
    EXPECT_FALSE(commissioning->Recording());
    Reply(GoodReplyOfRow1());
    RequestRow(2);
    Pump();
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0], "session recording stopped: cannot write traffico-" + Stamp() +
                               ".log: No space left on device");
    EXPECT_EQ(form->StringGrid3.Cell(2, 1), "3.141593"); // the exchange itself went on
}

TEST_F(RecordLinux, ALogNameTakenByAFifoFailsAtOnceInsteadOfWaitingForAReader) {
    ASSERT_EQ(::mkfifo(("letture-" + Stamp() + ".csv").c_str(), 0600), 0);
    try {
        commissioning->StartRecording();
        ADD_FAILURE() << "recording started on a FIFO";
    } catch (const winsys::Exception& e) {
        EXPECT_EQ(e.Message(),
                  "cannot write letture-" + Stamp() + ".csv: No such device or address");
    }
    EXPECT_FALSE(commissioning->Recording());
}

TEST_F(RecordLinux, AnExportIntoAFolderThatCannotBeWrittenLeavesTheFileThere) {
    WriteFile("kept.csv", "before");
    fs::permissions(".", fs::perms::owner_write, fs::perm_options::remove);
    const bool writable = ::access(".", W_OK) == 0; // as root, who writes anyway
    if (!writable) {
        EXPECT_THROW(commissioning->ExportGrid("kept.csv"), winsys::Exception);
        EXPECT_THROW(commissioning->WriteReport("kept.csv"), winsys::Exception);
    }
    fs::permissions(".", fs::perms::owner_write, fs::perm_options::add);
    if (writable) GTEST_SKIP() << "the folder stays writable for this user";
    EXPECT_EQ(ReadFile("kept.csv"), "before");
}

} // namespace
