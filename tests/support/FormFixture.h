#pragma once
// A main window on a manual clock with two fake ports, in a fresh working directory
// of its own, for the tool's handler tests.
#include "FakePort.h"
#include "ScopedSetting.h"
#include "TempFolder.h"
#include "tool/Unit1.h"
#include "winsys/Application.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace fakes {

using testsupport::ScratchDirectory;

// A folder of COM links of the test's own in the current directory, named by
// RVEX_COM_DIR while it lives: COM1 to COM49 point nowhere, so no test ever opens the
// machine's own serial devices, until Link(n, device) gives a number a device.
class ComLinkFolder {
  public:
    ComLinkFolder();
    ~ComLinkFolder();
    void Link(unsigned n, const std::string& device);
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    testsupport::ScopedEnv comDir_;
};

void WriteFile(const std::string& name, const std::string& content);
std::string ReadFile(const std::string& name);
// Writes valid "BmpOK.bmp" and "BmpX.bmp" glyphs into the current directory.
void WriteGlyphs();
// The bytes of a small valid BMP image.
std::string TinyBitmap();

class FormFixture : public ::testing::Test {
  protected:
    FormFixture();
    ~FormFixture() override;
    // Runs the loop for ms of the manual clock, timers firing at their times.
    void Advance(int64_t ms) { loop.AdvanceClock(ms); }
    // Runs what is queued now.
    void Pump() { loop.ProcessMessages(); }
    const std::vector<std::string>& Errors() { return application.Errors().Messages(); }

    ScratchDirectory scratch;
    ComLinkFolder comLinks;
    winsys::ManualClock clock;
    winsys::EventLoop loop{clock};
    winsys::TApplication application{loop};
    FakePort* serial;  // ComPort1
    FakePort* network; // WinsockPort1
    std::unique_ptr<tool::TMainForm> form;
};

} // namespace fakes
