#pragma once
// The common Save dialog: asks the operator for the name of a file to write.
#include "winsys/Win32.h"

#include <string>
#include <utility>
#include <vector>

namespace winui {

// A file type the dialog offers: its name and pattern, {"CSV (*.csv)", "*.csv"}.
using FileType = std::pair<std::wstring, std::wstring>;

// The chosen path, "" when the operator cancelled. The suggested name is filled in;
// a name typed without an extension takes defaultExtension ("csv"). Asks before
// overwriting a file that is there. Window thread only; modal over owner.
std::string AskSaveFileName(::HWND owner, const std::string& title, const std::string& suggested,
                            const std::vector<FileType>& types,
                            const std::wstring& defaultExtension);

} // namespace winui
