// Button20Click, Button17Click and Button18Click: the requests of the configuration
// text protocol. The module's answers are shown as text by the completion.
#include "tool/ConfigProtocol.h"

#include "tool/Unit1.h"

#include <cstring>

namespace tool {

namespace {

// Appends text to what TxText holds when it fits with the terminating zero.
bool AppendToTxText(TMainForm& f, const std::string& text) {
    size_t held = strnlen(f.TxText, sizeof f.TxText);
    if (held + text.size() >= sizeof f.TxText) return false;
    std::memcpy(f.TxText + held, text.data(), text.size());
    return true;
}

// The two read requests append to TxText without clearing it: an earlier request
// whose send failed goes out again before them. When both do not fit together the
// request is refused and nothing is sent.
void SendReadRequest(TMainForm& f, const char* status, const char* request) {
    f.HexDisplay = 0;
    f.StatusBar1.SetText(status);
    f.Memo2.Clear();
    if (!AppendToTxText(f, request)) {
        f.StatusBar1.SetText(std::string(status) +
                             " not sent: an earlier unsent request fills the send area");
        return;
    }
    f.Button10.Click();
}

} // namespace

std::string BuildConfigWriteRequest(const TMainForm& f) {
    const std::pair<const char*, const TEdit*> rows[12] = {
        {"ModAdd:", &f.Edit10},   {"Mod485:", &f.Edit11},   {"Cont485:", &f.Edit12},
        {"ContTime:", &f.Edit13}, {"Spare:", &f.Edit14},    {"Serie_1:", &f.Edit15},
        {"Serie_2:", &f.Edit16},  {"Baudrate:", &f.Edit31}, {"DDBBGG:", &f.Edit38},
        {"Var1:", &f.Edit35},     {"Var2:", &f.Edit36},     {"Var3:", &f.Edit37},
    };
    std::string request = "<config_begin\r\n";
    for (const auto& [key, field] : rows)
        request += key + field->Text() + "\r\n";
    request += "config_end>\r\n";
    return request;
}

void TMainForm::Button20Click() {
    SendReadRequest(*this, "    READ RELEASE", "<CMD_ReadRelease");
}

void TMainForm::Button17Click() {
    SendReadRequest(*this, "    READ COFIGURATION", "<CMD_Readcfg");
}

void TMainForm::Button18Click() {
    const std::string request = BuildConfigWriteRequest(*this);
    if (request.size() >= sizeof TxText) {
        // A cut request would leave the module with a configuration that is not whole.
        StatusBar1.SetText("    WRITE CONFIGURATION refused: the values hold " +
                           std::to_string(request.size() - ConfigWriteFixedSize) +
                           " characters, at most " + std::to_string(ConfigWriteMaxValues) + " fit");
        return;
    }
    HexDisplay = 0;
    StatusBar1.SetText("    WRITE CONFIGURATION ");
    Memo2.Clear();
    std::memset(TxText, 0, sizeof TxText);
    std::memcpy(TxText, request.data(), request.size());
    Button10.Click();
}

} // namespace tool
