#include "port/PortSelect.h"

#include "port/ComMapping.h"
#include "port/SerialDispatcher.h"

#include "port/PortProbe.h"

#include <cstdlib>
#include <mutex>

namespace port {

bool UseDispatcherForAvail = false;
bool ShowPortsInUse = true;

namespace {

// The highest number the dialog offers; the mapping gives no device above 49.
constexpr unsigned MaxListedPort = 50;

std::mutex HookLock;
TComSelectHook& CurrentHook() {
    static TComSelectHook Hook;
    return Hook;
}

} // namespace

std::string ComName(unsigned N) {
    return "COM" + std::to_string(N);
}

bool IsPortAvailable(unsigned N) {
    if (N == 0) return false;
    const std::string Path = ComDevicePath(N);
    int32_t R;
    if (UseDispatcherForAvail) {
        TSerialDispatcher Probe(nullptr);
        R = Probe.OpenCom(Path.c_str(), 64, 64);
        if (R >= 0) Probe.CloseCom();
    } else {
        R = PlainProbe(Path);
    }
    if (R >= 0) return true;
    return ShowPortsInUse && R == SerialDevice::InUse;
}

TComSelectHook SetComSelectHook(TComSelectHook Hook) {
    std::lock_guard Lock(HookLock);
    TComSelectHook Previous = std::move(CurrentHook());
    CurrentHook() = std::move(Hook);
    return Previous;
}

TComSelectForm::TComSelectForm() : TForm("ComSelectForm", "Select Port") {
    SetBounds(0, 0, 220, 131);
    Label1.SetBounds(8, 8, 204, 16);
    Label2.SetBounds(8, 28, 204, 16);
    PortsComboBox.SetBounds(8, 56, 204, 24);
    OkBtn.SetBounds(24, 96, 80, 25);
    CancelBtn.SetBounds(116, 96, 80, 25);
    DefaultButton = &OkBtn;
    OkBtn.OnClick = [this] { ModalResult = mrOk; };
    CancelBtn.OnClick = [this] { ModalResult = mrCancel; };
    FormCreate();
}

void TComSelectForm::FormCreate() {
    std::string Devices;
    for (unsigned N = 1; N <= MaxListedPort; ++N) {
        if (!IsPortAvailable(N)) continue;
        PortsComboBox.AddItem(ComName(N));
        if (!Devices.empty()) Devices += ", ";
        Devices += ComName(N) + " = " + ComDevicePath(N);
    }
    // The operator sees which device each number stands for.
    PortsComboBox.SetHint(Devices);
    if (!PortsComboBox.Items().empty()) PortsComboBox.SetItemIndex(0);
}

TModalResult TComSelectForm::ShowModal() {
    TComSelectHook Hook;
    {
        std::lock_guard Lock(HookLock);
        Hook = CurrentHook();
    }
    ModalResult = mrNone;
    if (!Hook) return ModalResult = mrCancel;
    TModalResult Result = Hook(*this);
    // A hook that clicked a button answers with it; one that only returned, with that.
    if (Result == mrNone) Result = ModalResult;
    if (Result == mrNone) Result = mrCancel;
    return ModalResult = Result;
}

std::string TComSelectForm::SelectedCom() const {
    const int Index = PortsComboBox.ItemIndex();
    if (Index < 0 || Index >= static_cast<int>(PortsComboBox.Items().size())) return {};
    return PortsComboBox.Items()[static_cast<size_t>(Index)];
}

uint16_t TComSelectForm::SelectedComNum() const {
    const std::string Text = SelectedCom();
    if (Text.size() <= 3) return 0;
    return static_cast<uint16_t>(std::strtol(Text.c_str() + 3, nullptr, 10));
}

} // namespace port
