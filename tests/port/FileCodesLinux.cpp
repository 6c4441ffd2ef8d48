#include "FileCodes.h"

const int MissingFolderFileCode = 2;
const char* const MissingFolderFileText = "File not found";
