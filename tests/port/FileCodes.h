#pragma once
// What the system answers for a file in a folder that does not exist: on Linux ENOENT,
// which the port layer gives as 2 ("File not found"); on Windows the system's own
// ERROR_PATH_NOT_FOUND, 3 ("Path not found").
extern const int MissingFolderFileCode;
extern const char* const MissingFolderFileText;
