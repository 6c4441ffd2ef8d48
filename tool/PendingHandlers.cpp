// Handlers whose concerns are not built yet. Each group leaves this file when its
// concern's own source file arrives; until then a click on them does nothing.
#include "tool/Unit1.h"

namespace tool {

// ---- connection control
void EnumerateComPorts(uint8_t list[100]) { list[0] = 0; }
void TMainForm::ComboBox1Change() {}
void TMainForm::BitBtn4Click() {}
void TMainForm::BitBtn5Click() {}
void TMainForm::WinsockPort1WsConnect(port::IComPort*) {}
void TMainForm::WinsockPort1WsDisconnect(port::IComPort*) {}
void TMainForm::WinsockPort1WsError(port::IComPort*, int32_t) {}
void TMainForm::Button35Click() {}
void TMainForm::Button45Click() {}

// ----


// ---- completion
void TMainForm::CompleteResponse() {}

// ----

// ---- register tables
void TMainForm::LoadRegisterTable() {}
void TMainForm::Button40Click() {}
void TMainForm::Button7Click() {}
void TMainForm::StringGrid3Click() {}

// ----

// ---- polling
void TMainForm::PollTick() {}
void TMainForm::BitBtn2Click() {}
void TMainForm::BitBtn3Click() {}
void TMainForm::Button42Click() {}
void TMainForm::Button43Click() {}
void TMainForm::StringGrid3DblClick() {}

// ----

// ---- manual read
void TMainForm::Button47Click() {}

// ----

// ---- configuration protocol
void TMainForm::Button20Click() {}
void TMainForm::Button17Click() {}
void TMainForm::Button18Click() {}

// ----

// ---- start-up configuration file
void TMainForm::Button23Click() {}

// ----

// ---- meter
void TMainForm::Button21Click() {}
void TMainForm::Timer3Timer() {}
void TMainForm::Button22Click() {}

// ----

} // namespace tool
