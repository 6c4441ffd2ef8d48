#pragma once
// The two files of an RCI exchange, opened as descriptors of the C runtime: the request
// file the operator supplies, and the exchange log "logfilex.txt".
#include <string>

namespace tool {

// Opens a request file for reading, shared with other readers; -1 when it cannot be
// opened or is not a regular file (a directory or a pipe would fail or block).
int OpenRequestFile(const std::string& name);
// Opens the exchange log for writing, emptied, and not shared: a log that another run
// of the tool holds is not emptied under it (-1 then).
int OpenLog();

} // namespace tool
