// The commissioning record's files on Windows beside other programs: a file another
// program holds is left as it was, and a log being recorded can be read, not written,
// by another program.
#include "CommissioningFixture.h"
#include "winsys/Exception.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <share.h>
#include <string>
#include <sys/stat.h>

using namespace fakes;
namespace fs = std::filesystem;

namespace {

// A file held open by "another program" for as long as it lives, sharing nothing.
class HeldFile {
  public:
    explicit HeldFile(const std::string& name) {
        _sopen_s(&fd_, name.c_str(), _O_RDWR | _O_BINARY, _SH_DENYRW, _S_IREAD | _S_IWRITE);
    }
    ~HeldFile() {
        if (fd_ >= 0) _close(fd_);
    }
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// An open of name by another program: -1 when the tool's sharing refuses it.
int OpenShared(const std::string& name, int flags) {
    int fd = -1;
    _sopen_s(&fd, name.c_str(), flags | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    return fd;
}

using RecordWin32 = CommissioningFixture;

TEST_F(RecordWin32, AnExportOrReportOverAFileAnotherProgramHoldsLeavesItAsItWas) {
    WriteFile("kept.csv", "before");
    {
        HeldFile held("kept.csv");
        ASSERT_TRUE(held.Held());
        EXPECT_THROW(commissioning->ExportGrid("kept.csv"), winsys::Exception);
        EXPECT_THROW(commissioning->WriteReport("kept.csv"), winsys::Exception);
    }
    EXPECT_EQ(ReadFile("kept.csv"), "before");
    EXPECT_FALSE(fs::exists("kept.csv.part"));
}

TEST_F(RecordWin32, ALogAnotherProgramHoldsStartsNothing) {
    WriteFile("letture-" + Stamp() + ".csv", "");
    HeldFile held("letture-" + Stamp() + ".csv");
    ASSERT_TRUE(held.Held());
    try {
        commissioning->StartRecording();
        ADD_FAILURE() << "recording started on a file another program holds";
    } catch (const winsys::Exception& e) {
        EXPECT_EQ(e.Message(), "cannot write letture-" + Stamp() + ".csv: Permission denied");
    }
    EXPECT_FALSE(commissioning->Recording());
}

TEST_F(RecordWin32, ALogBeingRecordedCanBeReadByAnotherProgramNotWritten) {
    commissioning->StartRecording();
    RequestRow(1);
    Reply(GoodReplyOfRow1());
    const std::string log = commissioning->ReadingsLogPath();
    const int reader = OpenShared(log, _O_RDONLY);
    EXPECT_GE(reader, 0);
    if (reader >= 0) _close(reader);
    const int writer = OpenShared(log, _O_WRONLY);
    EXPECT_EQ(writer, -1);
    if (writer >= 0) _close(writer);
    commissioning->StopRecording();
    EXPECT_NE(ReadFile(log).find(",3.141593,good,"), std::string::npos);
}

} // namespace
