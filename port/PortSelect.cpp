#include "port/PortSelect.h"

#include "port/ComMapping.h"
#include "port/SerialDispatcher.h"

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
    static TComSelectHook hook;
    return hook;
}

} // namespace

std::string ComName(unsigned n) {
    return "COM" + std::to_string(n);
}

bool IsPortAvailable(unsigned N) {
    if (N == 0) return false;
    const std::string path = ComDevicePath(N);
    int32_t result;
    if (UseDispatcherForAvail) {
        TSerialDispatcher dispatcher(nullptr);
        result = dispatcher.OpenCom(path.c_str(), 64, 64);
        if (result >= 0) dispatcher.CloseCom();
    } else {
        result = SerialDevice::Probe(path);
    }
    if (result >= 0) return true;
    return ShowPortsInUse && result == SerialDevice::InUse;
}

TComSelectHook SetComSelectHook(TComSelectHook Hook) {
    std::lock_guard lock(HookLock);
    TComSelectHook previous = std::move(CurrentHook());
    CurrentHook() = std::move(Hook);
    return previous;
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
    std::string devices;
    for (unsigned n = 1; n <= MaxListedPort; ++n) {
        if (!IsPortAvailable(n)) continue;
        PortsComboBox.AddItem(ComName(n));
        if (!devices.empty()) devices += ", ";
        devices += ComName(n) + " = " + ComDevicePath(n);
    }
    // The operator sees which device each number stands for.
    PortsComboBox.SetHint(devices);
    if (!PortsComboBox.Items().empty()) PortsComboBox.SetItemIndex(0);
}

TModalResult TComSelectForm::ShowModal() {
    TComSelectHook hook;
    {
        std::lock_guard lock(HookLock);
        hook = CurrentHook();
    }
    ModalResult = mrNone;
    if (!hook) return ModalResult = mrCancel;
    TModalResult result = hook(*this);
    // A hook that clicked a button answers with it; one that only returned, with that.
    if (result == mrNone) result = ModalResult;
    if (result == mrNone) result = mrCancel;
    return ModalResult = result;
}

std::string TComSelectForm::SelectedCom() const {
    const int index = PortsComboBox.ItemIndex();
    if (index < 0 || index >= static_cast<int>(PortsComboBox.Items().size())) return {};
    return PortsComboBox.Items()[static_cast<size_t>(index)];
}

uint16_t TComSelectForm::SelectedComNum() const {
    const std::string text = SelectedCom();
    if (text.size() <= 3) return 0;
    return static_cast<uint16_t>(std::strtol(text.c_str() + 3, nullptr, 10));
}

} // namespace port
