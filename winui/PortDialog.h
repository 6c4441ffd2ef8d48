#pragma once
// The port selection dialog (port::TComSelectForm) on the desktop: while a PortDialog
// lives, every port dialog of the port layer runs as a modal dialog box over the main
// window with the form's caption, labels, port list (the devices in its tooltip) and
// OK and Cancel; the operator's choice goes back into the form (its list selection
// and the button clicked). Window thread only.
#include "port/PortSelect.h"
#include "winsys/Win32.h"

#include <functional>

namespace winui {

class PortDialog {
  public:
    // owner: the main window (may be nullptr).
    explicit PortDialog(::HWND owner);
    ~PortDialog();
    PortDialog(const PortDialog&) = delete;
    PortDialog& operator=(const PortDialog&) = delete;

    // Called with each dialog once its controls are there (tests answer it from here).
    std::function<void(::HWND dialog)> OnShown;

    // The port list's control id in the dialog (OK and Cancel are IDOK and IDCANCEL).
    static constexpr int PortListId = 1001;

  private:
    port::TModalResult Show(port::TComSelectForm& form);
    static INT_PTR CALLBACK Procedure(::HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

    ::HWND owner_;
    port::TComSelectHook previous_;
};

} // namespace winui
