// Handlers whose concerns are not built yet. Each group leaves this file when its
// concern's own source file arrives; until then a click on them does nothing.
#include "tool/Unit1.h"

namespace tool {

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
