#pragma once
// The exchange log "logfilex.txt" of an RCI exchange, opened as a descriptor of the C
// runtime (the request file is an input file: tool/InputFile.h).
#include <string>

namespace tool {

// Opens the exchange log for writing, emptied, and not shared: a log that another run
// of the tool holds is not emptied under it (-1 then).
int OpenLog();

} // namespace tool
