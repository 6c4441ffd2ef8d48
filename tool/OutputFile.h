#pragma once
// Opening the files the tool writes into its working folder (the session logs, an
// exported grid, a report, each one's part file) as C streams in binary mode, so that
// the bytes land as written, and never inherited by a program the tool starts.
#include <cstdio>

namespace tool {

enum class OutputMode {
    Append,  // a log: created when missing, written at its end, never truncated
    Replace, // a new document: created when missing, emptied when there
};

// The stream, or null with errno set when Name cannot be opened for writing. On Linux
// a FIFO with no reader fails at once (ENXIO) instead of blocking the window thread;
// on Windows other programs may read the file while it is open, not write it. The
// caller closes it.
std::FILE* OpenOutputFile(const char* Name, OutputMode mode);

} // namespace tool
