#pragma once
// The port selection dialog (port::TComSelectForm) on screen: while a PortDialog lives,
// every port dialog of the port layer runs as a modal Qt dialog over the main window
// with the form's caption, labels, port list (the devices in its tooltip) and OK and
// Cancel; the operator's choice goes back into the form (its list selection and the
// button clicked). Window thread only.
#include "port/PortSelect.h"

#include <functional>

class QDialog;
class QWidget;

namespace ui {

class PortDialog {
  public:
    explicit PortDialog(std::function<QWidget*()> parent);
    ~PortDialog();
    PortDialog(const PortDialog&) = delete;
    PortDialog& operator=(const PortDialog&) = delete;

    // Called with each dialog just before it runs (tests answer it from here).
    std::function<void(QDialog& dialog)> OnShown;

  private:
    port::TModalResult Show(port::TComSelectForm& form);

    std::function<QWidget*()> parent_;
    port::TComSelectHook previous_;
};

} // namespace ui
