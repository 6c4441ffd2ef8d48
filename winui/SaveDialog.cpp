#include "winui/SaveDialog.h"

#include "winui/NativeText.h"

#include <commdlg.h>

#include <algorithm>

namespace winui {

std::string AskSaveFileName(::HWND owner, const std::string& title, const std::string& suggested,
                            const std::vector<FileType>& types,
                            const std::wstring& defaultExtension) {
    // The filter is pairs of texts, each ended by a null, the whole by a second one.
    std::wstring filter;
    for (const auto& [name, pattern] : types) {
        filter += name;
        filter += L'\0';
        filter += pattern;
        filter += L'\0';
    }
    filter += L'\0';
    std::wstring file = Wide(suggested);
    file.resize(std::max<size_t>(file.size() + 1, 32768), L'\0');
    std::wstring caption = Wide(title);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = caption.c_str();
    dialog.lpstrDefExt = defaultExtension.c_str();
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetSaveFileNameW(&dialog)) return {};
    return Narrow(file.c_str());
}

} // namespace winui
