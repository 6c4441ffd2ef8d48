#include "FileCodes.h"

const int MissingFolderFileCode = 3;
const char* const MissingFolderFileText = "Path not found";
