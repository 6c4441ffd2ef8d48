// The serial device layer on real pseudo-terminals: the device opens the slave by its
// name, as it opens any port, and the test plays the peer on the master.
#include "port/SerialDevice.h"

#include "DeviceSpeed.h"
#include "FormFixture.h"
#include "Pty.h"
#include "TempFolder.h"
#include "port/ComMapping.h"
#include "port/ComPort.h"
#include "port/PortErrors.h"
#include "port/PortSelect.h"
#include "winsys/EventLoop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

using namespace port;

namespace {

constexpr int StepMs = 2000; // one wait of a bounded loop; never reached when all is well

class SerialDeviceTest : public ::testing::Test {
  protected:
    void CloseMaster() { Pty.CloseMaster(); }

    void WriteMaster(const std::string& Bytes) {
        ASSERT_EQ(write(Pty.Master(), Bytes.data(), Bytes.size()),
                  static_cast<ssize_t>(Bytes.size()));
    }

    std::string ReadMaster(size_t Count) { return Pty.ReadMaster(Count, StepMs); }

    // Up to Count bytes from the device, through its own wait.
    static std::string ReadDevice(SerialDevice& Dev, size_t Count) {
        std::string Got;
        for (int Round = 0; Round < 100 && Got.size() < Count; ++Round) {
            if (!(Dev.Wait(StepMs, weReadable) & weReadable)) break;
            char Buf[512];
            const int32_t N =
                Dev.Read(Buf, static_cast<int32_t>(std::min(sizeof Buf, Count - Got.size())));
            if (N < 0) break;
            Got.append(Buf, static_cast<size_t>(N));
        }
        return Got;
    }

    // The slave's settings as the master sees them (a master's termios calls act on its
    // slave).
    termios PeerView() {
        termios T{};
        EXPECT_EQ(tcgetattr(Pty.Master(), &T), 0);
        return T;
    }

    testsupport::PtyPair Pty;
};

std::string AllBytes() {
    std::string S;
    for (int I = 0; I < 256; ++I)
        S.push_back(static_cast<char>(I));
    return S;
}

// ---- open and close ----------------------------------------------------------------

TEST_F(SerialDeviceTest, OpensAPtyRawAndClosesIt) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    EXPECT_TRUE(Dev.IsOpen());
    EXPECT_TRUE(Dev.IsPseudoTerminal());
    EXPECT_FALSE(Dev.ModemLinesKnown());
    EXPECT_EQ(Dev.Open(Pty.SlavePath()), -1002);

    const termios T = PeerView();
    EXPECT_FALSE(T.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(T.c_oflag & OPOST);
    EXPECT_FALSE(T.c_iflag & (ICRNL | IXON | ISTRIP));
    EXPECT_TRUE(T.c_cflag & CLOCAL);

    EXPECT_EQ(Dev.Close(), 0);
    EXPECT_FALSE(Dev.IsOpen());
    char C;
    EXPECT_EQ(Dev.Read(&C, 1), SerialDevice::NotOpen);
    EXPECT_EQ(Dev.Write("x", 1), SerialDevice::NotOpen);
    EXPECT_EQ(Dev.SetLine(TSerialLine{}), SerialDevice::NotOpen);
    EXPECT_EQ(Dev.InputCount(), SerialDevice::NotOpen);
    EXPECT_EQ(Dev.Close(), 0);
}

TEST_F(SerialDeviceTest, ASecondOpenIsInUseUntilTheFirstCloses) {
    SerialDevice First, Second;
    ASSERT_EQ(First.Open(Pty.SlavePath()), 0);
    EXPECT_EQ(Second.Open(Pty.SlavePath()), SerialDevice::InUse);
    EXPECT_FALSE(Second.IsOpen());
    ASSERT_EQ(First.Close(), 0);
    EXPECT_EQ(Second.Open(Pty.SlavePath()), 0);
}

// Another program holds the port in its own way. The test runs as root, for whom the
// kernel does not enforce the exclusive mode: the device must honour it anyway.
TEST_F(SerialDeviceTest, APortHeldByAnotherProgramIsInUse) {
    struct Holder {
        const char* How;
        void (*Take)(int Fd);
    };
    const Holder Holders[] = {
        {"flock", [](int Fd) { ASSERT_EQ(flock(Fd, LOCK_EX | LOCK_NB), 0); }},
        {"exclusive mode", [](int Fd) { ASSERT_EQ(ioctl(Fd, TIOCEXCL), 0); }},
    };
    for (const auto& H : Holders) {
        SCOPED_TRACE(H.How);
        const int Other = open(Pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(Other, 0);
        H.Take(Other);
        SerialDevice Dev;
        EXPECT_EQ(Dev.Open(Pty.SlavePath()), SerialDevice::InUse);
        ioctl(Other, TIOCNXCL);
        close(Other);
        EXPECT_EQ(Dev.Open(Pty.SlavePath()), 0);
    }
}

TEST_F(SerialDeviceTest, NamesWithoutAPortAreNotFound) {
    namespace fs = std::filesystem;
    testsupport::TempFolder Folder;
    const fs::path Dir = Folder.Path();
    {
        FILE* F = fopen((Dir / "plain").c_str(), "w");
        ASSERT_NE(F, nullptr);
        fclose(F);
    }
    fs::create_symlink("/dev/pts/rvex-no-such", Dir / "COM7");
    fs::create_symlink(Pty.SlavePath(), Dir / "COM3");

    struct Row {
        std::string Name;
        int32_t Code;
    };
    const Row Rows[] = {
        {"/dev/pts/rvex-no-such", SerialDevice::NotFound},
        {(Dir / "COM7").string(), SerialDevice::NotFound},  // a link to nothing
        {(Dir / "plain").string(), SerialDevice::NotFound}, // not a terminal
        {(Dir / "no-folder" / "COM1").string(), SerialDevice::PathNotFound},
        {(Dir / "plain" / "COM1").string(), SerialDevice::PathNotFound},
        {(Dir / "COM3").string(), 0}, // a link to a port opens the port
    };
    for (const auto& R : Rows) {
        SCOPED_TRACE(R.Name);
        SerialDevice Dev;
        EXPECT_EQ(Dev.Open(R.Name), R.Code);
        EXPECT_EQ(Dev.IsOpen(), R.Code == 0);
    }
}

// The start-up port list (ComPortUsable), the port dialog (IsPortAvailable) and the
// port's open ask the one probe, so they agree on every device behind a COM link: the
// list offers only what the open opens, and the dialog adds only ports held elsewhere.
TEST_F(SerialDeviceTest, TheStartUpListTheDialogAndTheOpenAgreeOnEveryDevice) {
    fakes::ScratchDirectory Scratch;
    fakes::ComLinkFolder Links;
    fakes::WriteFile("plain", "not a port");
    winsys::EventLoop Loop;

    // What the open of COMn says: "" when it opened, else the message it raised.
    auto OpenSays = [&](unsigned N) -> std::string {
        TComPort Port(&Loop);
        Port.SetComNumber(static_cast<uint16_t>(N));
        Port.SetParity(pEven);
        try {
            Port.SetOpen(true);
        } catch (const EPortException& E) {
            return E.what();
        }
        return Port.GetOpen() ? "" : "not open and nothing raised";
    };
    const std::string BadId = "ie_BadId - Specified comport doesn't exist";
    const std::string HeldMessage = "ie_Open - device already open";

    struct Row {
        unsigned N;
        std::string Device;
        bool Listed;  // in the start-up list
        bool Offered; // in the port dialog
        std::string Open;
    };
    const Row Rows[] = {
        {2, "/dev/null", false, false, BadId},
        {3, Scratch.Path() + "/plain", false, false, BadId},
        {4, Scratch.Path() + "/missing", false, false, BadId},
        {5, Pty.SlavePath(), true, true, ""},
    };
    for (const auto& R : Rows)
        Links.Link(R.N, R.Device);
    for (const auto& R : Rows) {
        SCOPED_TRACE(R.Device);
        EXPECT_EQ(ComPortUsable(R.N), R.Listed);
        EXPECT_EQ(IsPortAvailable(R.N), R.Offered);
        EXPECT_EQ(OpenSays(R.N), R.Open);
    }

    // The same pty while another program holds it: not listed, offered as in use, and
    // the open says so.
    const int Other = open(Pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(Other, 0);
    ASSERT_EQ(flock(Other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(SerialDevice::Probe(Pty.SlavePath()), SerialDevice::InUse);
    EXPECT_FALSE(ComPortUsable(5));
    EXPECT_TRUE(IsPortAvailable(5));
    EXPECT_EQ(OpenSays(5), HeldMessage);
    close(Other);
}

TEST(SerialDeviceCodes, OpenErrorsMapToThePortLayersNumbers) {
    struct Row {
        int Errno;
        bool FolderMissing;
        int32_t Code;
    };
    const Row Rows[] = {
        {ENOENT, false, -2},
        {ENOENT, true, -3},
        {ENOTDIR, false, -3},
        {ENXIO, false, -2},
        {ENODEV, false, -2},
        {EIO, false, -2},
        {EBUSY, false, -5},
        {EWOULDBLOCK, false, -5},
        // Not allowed is not "in use": the operator has to join the dialout group.
        {EACCES, false, -13},
        {EPERM, false, -13},
        {ELOOP, false, -ELOOP},
    };
    for (const auto& R : Rows)
        EXPECT_EQ(SerialDevice::OpenErrorCode(R.Errno, R.FolderMissing), R.Code)
            << "errno " << R.Errno;
}

// ---- line settings -----------------------------------------------------------------

struct LineRow {
    TSerialLine Line;
    speed_t Code;
    bool TwoStop;
};

class SerialLineTest : public SerialDeviceTest, public ::testing::WithParamInterface<LineRow> {};

// A pty holds no parity and only 8 data bits: the port keeps what was asked, the pty
// gets the rate and the stop bits.
TEST_P(SerialLineTest, APtyKeepsTheRequestedLineAndGetsWhatItHolds) {
    const LineRow& R = GetParam();
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    ASSERT_EQ(Dev.SetLine(R.Line), 0);
    EXPECT_EQ(Dev.GetLine(), R.Line);

    const termios T = PeerView();
    EXPECT_EQ(cfgetospeed(&T), R.Code);
    EXPECT_EQ(T.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(T.c_cflag & PARENB);
    EXPECT_EQ((T.c_cflag & CSTOPB) != 0, R.TwoStop);
}

INSTANTIATE_TEST_SUITE_P(Lines, SerialLineTest,
                         ::testing::Values(LineRow{{9600, pEven, 8, ssOne}, B9600, false},
                                           LineRow{{19200, pNone, 8, ssTwo}, B19200, true},
                                           LineRow{{115200, pOdd, 7, ssOne}, B115200, false},
                                           LineRow{{38400, pSpace, 6, ssTwo}, B38400, true},
                                           // 1.5 stop bits are asked as two
                                           LineRow{{1200, pMark, 5, ssOneAndHalf}, B1200, true}));

TEST_F(SerialDeviceTest, ARateWithoutItsOwnCodeReachesTheDevice) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    TSerialLine Line;
    Line.Baud = 250000;
    ASSERT_EQ(Dev.SetLine(Line), 0);
    EXPECT_EQ(DeviceOutputSpeed(Pty.Master()), 250000u);
    EXPECT_EQ(Dev.GetLine().Baud, 250000u);
}

TEST_F(SerialDeviceTest, BytesPassUnchangedAtEvenParity) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    ASSERT_EQ(Dev.SetLine(TSerialLine{9600, pEven, 8, ssOne}), 0);
    const std::string Bytes = AllBytes();

    WriteMaster(Bytes);
    EXPECT_EQ(ReadDevice(Dev, Bytes.size()), Bytes);

    ASSERT_EQ(Dev.Write(Bytes.data(), static_cast<int32_t>(Bytes.size())),
              static_cast<int32_t>(Bytes.size()));
    EXPECT_EQ(ReadMaster(Bytes.size()), Bytes);
}

TEST_F(SerialDeviceTest, ValuesOutOfRangeAreRefusedAndTheLineStays) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    const TSerialLine Good{4800, pEven, 8, ssOne};
    ASSERT_EQ(Dev.SetLine(Good), 0);

    TSerialLine Bad[5] = {Good, Good, Good, Good, Good};
    Bad[0].DataBits = 4;
    Bad[1].DataBits = 9;
    Bad[2].Baud = 0;
    Bad[3].Parity = static_cast<TParity>(5);
    Bad[4].StopBits = static_cast<TSerialStopBits>(3);
    for (const auto& Line : Bad) {
        EXPECT_EQ(Dev.SetLine(Line), SerialDevice::Refused);
        EXPECT_EQ(Dev.GetLine(), Good);
    }
    const termios T = PeerView();
    EXPECT_EQ(cfgetospeed(&T), static_cast<speed_t>(B4800));
}

// ---- counts, purge, control lines --------------------------------------------------

TEST_F(SerialDeviceTest, InputCountAndPurge) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    EXPECT_EQ(Dev.Wait(0, weReadable), 0u);

    WriteMaster("hello");
    ASSERT_TRUE(Dev.Wait(StepMs, weReadable) & weReadable);
    EXPECT_EQ(Dev.InputCount(), 5);

    EXPECT_EQ(Dev.Purge(true, false), 0);
    EXPECT_EQ(Dev.InputCount(), 0);
    char Buf[8];
    EXPECT_EQ(Dev.Read(Buf, sizeof Buf), 0);
    EXPECT_EQ(Dev.Wait(0, weReadable), 0u);

    EXPECT_EQ(Dev.Purge(false, true), 0);
    EXPECT_EQ(Dev.Purge(true, true), 0);
    WriteMaster("ab");
    EXPECT_EQ(ReadDevice(Dev, 2), "ab");
}

// A pty has no modem lines and no RS485: the calls that need them say so and never
// fail, so a pty opens like any port.
TEST_F(SerialDeviceTest, APtyHasNoModemLinesAndNeverFailsForThem) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    EXPECT_EQ(Dev.SetDtr(true), 0);
    EXPECT_EQ(Dev.SetRts(false), 0);
    uint32_t Lines = 0xFF;
    EXPECT_EQ(Dev.GetModemLines(Lines), SerialDevice::ModemLinesUnknown);
    EXPECT_EQ(Lines, 0u);
    EXPECT_EQ(Dev.WaitModemChange(mlCts), -ENOTTY);
    TLineCounters Counters;
    Counters.Frame = 7;
    EXPECT_EQ(Dev.GetCounters(Counters), SerialDevice::CountersUnknown);
    EXPECT_EQ(Counters.Frame, 7u);
    EXPECT_EQ(Dev.SetRS485(true), SerialDevice::RS485ByRts);
    EXPECT_EQ(Dev.SetBreak(true), 0);
    EXPECT_EQ(Dev.SetBreak(false), 0);
    EXPECT_EQ(Dev.TransmitterEmpty(), 1);
    EXPECT_FALSE(Dev.LowLatency());
}

// ---- the event wait ----------------------------------------------------------------

TEST_F(SerialDeviceTest, TheStopSignalEndsAWaitFromAnotherThread) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    TStopSignal Stop;
    std::promise<void> Started;
    auto Result = std::async(std::launch::async, [&] {
        Started.set_value();
        return Dev.Wait(-1, weReadable, &Stop);
    });
    Started.get_future().wait();
    Stop.Raise();
    EXPECT_EQ(Result.get(), static_cast<uint32_t>(weStopped));

    // Raised stays raised until cleared, so a raise before the wait also ends it.
    EXPECT_EQ(Dev.Wait(-1, weReadable, &Stop), static_cast<uint32_t>(weStopped));
    Stop.Clear();
    EXPECT_EQ(Dev.Wait(0, weReadable, &Stop), 0u);
}

TEST_F(SerialDeviceTest, CloseEndsAWaitInAnotherThread) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    std::promise<void> Started;
    auto Result = std::async(std::launch::async, [&] {
        Started.set_value();
        return Dev.Wait(-1, weReadable);
    });
    Started.get_future().wait();
    EXPECT_EQ(Dev.Close(), 0);
    EXPECT_EQ(Result.get(), static_cast<uint32_t>(weStopped));
    EXPECT_EQ(Dev.Wait(-1, weReadable), static_cast<uint32_t>(weStopped));
}

// The peer vanishes (as a USB adapter that is pulled): the wait reports it, the calls
// after it fail with the lost codes, and a wait after that blocks instead of spinning.
TEST_F(SerialDeviceTest, AVanishedPeerIsReportedAndNeverSpins) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    WriteMaster("x");
    ASSERT_EQ(ReadDevice(Dev, 1), "x");
    CloseMaster();

    int Waits = 0;
    uint32_t Got = 0;
    while (Waits < 5 && !(Got & weHangUp)) {
        Got = Dev.Wait(StepMs, weReadable);
        ++Waits;
    }
    EXPECT_TRUE(Got & weHangUp);
    EXPECT_EQ(Waits, 1);
    EXPECT_TRUE(Dev.Lost());

    char C;
    EXPECT_EQ(Dev.Read(&C, 1), SerialDevice::LostOnRead);
    EXPECT_EQ(Dev.Write("y", 1), SerialDevice::LostOnWrite);

    TStopSignal Stop;
    auto Later = std::async(std::launch::async, [&] { return Dev.Wait(-1, weReadable, &Stop); });
    EXPECT_EQ(Later.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    Stop.Raise();
    EXPECT_EQ(Later.get(), static_cast<uint32_t>(weStopped | weHangUp));
    EXPECT_EQ(Dev.Close(), 0);
}

// A tty holds 4095 received bytes and passes on the rest of a larger burst only when
// read again: one Read brings all of it.
TEST_F(SerialDeviceTest, ABurstLargerThanTheTtysBufferComesInOneRead) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    std::string Burst(4096, '\0');
    for (size_t I = 0; I < Burst.size(); ++I)
        Burst[I] = static_cast<char>(I * 13);
    WriteMaster(Burst);
    for (int Round = 0; Round < 1000 && Dev.InputCount() < SerialDevice::TtyInputHold; ++Round)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(Dev.InputCount(), SerialDevice::TtyInputHold);

    std::string Got(8192, '\0');
    ASSERT_EQ(Dev.Read(Got.data(), static_cast<int32_t>(Got.size())), 4096);
    Got.resize(4096);
    EXPECT_EQ(Got, Burst);
}

// The event thread's wait: each arrival once, read or not, so the thread can go back to
// waiting at once; input that waits counts again only when the watch turns back on.
TEST_F(SerialDeviceTest, WaitArrivalReportsEachArrivalOnce) {
    constexpr int QuietMs = 100; // a wait that must end by its time
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    TStopSignal Stop;
    EXPECT_EQ(Dev.WaitArrival(0, true, &Stop), 0u);

    WriteMaster("ab");
    EXPECT_EQ(Dev.WaitArrival(StepMs, true, &Stop), static_cast<uint32_t>(weReadable));
    EXPECT_EQ(Dev.WaitArrival(QuietMs, true, &Stop), 0u); // unread, but not new
    WriteMaster("c");
    EXPECT_EQ(Dev.WaitArrival(StepMs, true, &Stop), static_cast<uint32_t>(weReadable));

    WriteMaster("d");
    EXPECT_EQ(Dev.WaitArrival(QuietMs, false, &Stop), 0u); // not watching input
    EXPECT_EQ(Dev.WaitArrival(0, true, &Stop), static_cast<uint32_t>(weReadable));
    EXPECT_EQ(ReadDevice(Dev, 4), "abcd");

    Stop.Raise();
    EXPECT_EQ(Dev.WaitArrival(StepMs, true, &Stop), static_cast<uint32_t>(weStopped));
    Stop.Clear();
    EXPECT_EQ(Dev.WaitArrival(0, true, &Stop), 0u);
}

TEST_F(SerialDeviceTest, WaitArrivalEndsOnCloseAndNeverSpinsOnAVanishedPeer) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    TStopSignal Stop;
    CloseMaster();
    EXPECT_EQ(Dev.WaitArrival(StepMs, true, &Stop) & weHangUp, static_cast<uint32_t>(weHangUp));
    EXPECT_TRUE(Dev.Lost());

    auto Later = std::async(std::launch::async, [&] { return Dev.WaitArrival(-1, true, &Stop); });
    EXPECT_EQ(Later.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    Stop.Raise();
    EXPECT_EQ(Later.get(), static_cast<uint32_t>(weStopped | weHangUp));
    Stop.Clear();

    std::promise<void> Started;
    auto Closed = std::async(std::launch::async, [&] {
        Started.set_value();
        return Dev.WaitArrival(-1, true, &Stop);
    });
    Started.get_future().wait();
    EXPECT_EQ(Dev.Close(), 0);
    EXPECT_TRUE(Closed.get() & weStopped);
    EXPECT_EQ(Dev.WaitArrival(-1, true, &Stop), static_cast<uint32_t>(weStopped));
}

// A zero-byte read after "readable" is the end of the device, not an empty read.
TEST_F(SerialDeviceTest, AReadAtTheEndMarksTheDeviceLost) {
    SerialDevice Dev;
    ASSERT_EQ(Dev.Open(Pty.SlavePath()), 0);
    char C;
    EXPECT_EQ(Dev.Read(&C, 1), 0);
    EXPECT_FALSE(Dev.Lost());
    CloseMaster();
    EXPECT_EQ(Dev.Read(&C, 1), SerialDevice::LostOnRead);
    EXPECT_TRUE(Dev.Lost());
    EXPECT_EQ(Dev.Wait(0, weReadable), static_cast<uint32_t>(weHangUp));
}

} // namespace
