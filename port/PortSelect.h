#pragma once
// Port selection: which serial ports can be offered, and the dialog that lets the
// operator pick one when a port component has none configured.
//
// IsPortAvailable(N) looks at COMn's device through the COM mapping (ComMapping.h)
// with the serial layer's one probe (SerialDevice::Probe, the rules of the port's own
// open): a terminal that opens is available; one that another program holds is
// available too while ShowPortsInUse is set (the operator sees it and learns it is
// busy when the open fails). Any thread.
//
// TComSelectForm is the dialog as a model: a winsys form with the caption
// "Select Port", two labels, the list PortsComboBox of the available ports among COM1
// to COM50 (the first one selected) and the buttons OK and Cancel. ShowModal hands it
// to the modal hook the front end installs (the Qt window shows it as a real modal
// dialog; the headless runner answers it from its script) and returns the result.
// Without a hook there is nobody to ask: ShowModal returns mrCancel. Window thread.
#include "winsys/Controls.h"

#include <cstdint>
#include <functional>
#include <string>

namespace port {

// When set, availability is tried through the serial dispatcher's own open, which puts
// the device in raw mode and discards its pending output as it closes it again, and so
// would disturb a program that has the port open without taking it for exclusive use.
// Off (the default), the serial layer's probe gives the same answer and leaves the
// device's settings and queues alone.
extern bool UseDispatcherForAvail;
// When set, a port held by another program is offered.
extern bool ShowPortsInUse;

// False for 0 without touching any device.
bool IsPortAvailable(unsigned N);

// "COM" followed by n in decimal.
std::string ComName(unsigned n);

enum TModalResult { mrNone, mrOk, mrCancel };

class TComSelectForm : public winsys::TForm {
  public:
    // Fills PortsComboBox (FormCreate); the hints of its items name their devices.
    TComSelectForm();

    // The hook's answer, or mrCancel without a hook.
    TModalResult ShowModal();

    // The selected item's text, "" when none.
    std::string SelectedCom() const;
    // The selected item's text from its fourth character on as a number; 0 when none.
    uint16_t SelectedComNum() const;

    winsys::TLabel Label1{this, "Label1", "The configured serial port is not valid."};
    winsys::TLabel Label2{this, "Label2", "Please choose another port."};
    winsys::TComboBox PortsComboBox{this, "PortsComboBox", "",
                                    winsys::TComboBoxStyle::csDropDownList};
    winsys::TButton OkBtn{this, "OkBtn", "OK"};
    winsys::TButton CancelBtn{this, "CancelBtn", "Cancel"};

    // Set by the buttons (OK gives mrOk, Cancel mrCancel); a hook may click them.
    TModalResult ModalResult = mrNone;

  private:
    void FormCreate();
};

// Shows a modal port dialog and returns its result. The hook runs the dialog to its
// end: it may select an item of PortsComboBox and click a button, or just return.
using TComSelectHook = std::function<TModalResult(TComSelectForm& Form)>;

// Installs the hook (an empty one removes it) and returns the previous one.
TComSelectHook SetComSelectHook(TComSelectHook Hook);

} // namespace port
