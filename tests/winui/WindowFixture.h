#pragma once
// The main window on the desktop, in process: the tool's form with its design-time
// ports in a copy of the site files, started up, shown and bound to native controls,
// with the error box and the port dialog of the window.
#include "Pump.h"
#include "TempFolder.h"
#include "tool/Unit1.h"
#include "winsys/Application.h"
#include "winui/ErrorBox.h"
#include "winui/FormView.h"
#include "winui/PortDialog.h"
#include "winui/ReadingsView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace winuitest {

class WindowFixture : public ::testing::Test {
  protected:
    WindowFixture();
    ~WindowFixture() override;

    // The native control of a control of the form.
    ::HWND Handle(const std::string& name) const;
    // Runs what the loop has ready, the window's messages among them.
    void Pump() { testsupport::PumpUntilIdle(loop); }
    // Checks that every native control shows what its control holds.
    void ExpectWindowShowsModel();
    void ExpectGridShowsModel();

    testsupport::ScratchDirectory scratch;
    winsys::EventLoop loop;
    winsys::TApplication application{loop};
    std::unique_ptr<tool::TMainForm> form;
    std::unique_ptr<winui::FormView> view;
    std::unique_ptr<winui::ReadingsView> readings;
    std::unique_ptr<winui::ErrorBox> errors;
    std::unique_ptr<winui::PortDialog> portDialog;
};

} // namespace winuitest
