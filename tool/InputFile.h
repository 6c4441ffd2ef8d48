#pragma once
// Opening the files the tool reads from its working folder (Config1.c, the register
// tables, the RCI request files): for reading only, so a file the user may only read
// is read; and only a regular file, so a FIFO, a device or a directory with such a
// name counts as unopenable at once instead of blocking the window thread or failing
// half way through.
#include <cstdio>

namespace tool {

// A descriptor open for reading, or -1 when Name is missing, unreadable or no regular
// file. The caller closes it.
int OpenInputFileDescriptor(const char* Name);
// The same as a C stream ("r"), or null. The caller closes it.
std::FILE* OpenInputFile(const char* Name);

} // namespace tool
