#pragma once
// The commissioning record in the native window, without touching the main window's
// controls: the context menus of the readings grid and of the monitor, the sign in
// the status bar while the session records, and the trend window.
//
// Grid menu: "Registra sessione" (checked while recording), "Esporta tabella CSV...",
// "Rapporto di collaudo...", "Trend" (the row under the pointer); monitor menu: its
// editing entries ("Copia", "Seleziona tutto"), then "Registra sessione" and
// "Rapporto di collaudo...". The entries come from tool/CommissioningMenu.h. Export and
// report ask for the file with the common Save dialog; the report is HTML (a name
// ending in .pdf is refused with an error: there is no PDF writer here). Failures
// show in the application's error display. Window thread only; the commissioning
// record, the form and the view outlive this.
#include "tool/Commissioning.h"
#include "tool/CommissioningMenu.h"
#include "winsys/Application.h"
#include "winsys/Controls.h"
#include "winsys/Win32.h"

#include <functional>
#include <memory>
#include <string>

namespace tool {
class TMainForm;
}

namespace winui {

class FormView;
class TrendWindow;

class CommissioningMenus {
  public:
    CommissioningMenus(winsys::TApplication& application, tool::TMainForm& form, FormView& view,
                       tool::TCommissioning& commissioning);
    ~CommissioningMenus();
    CommissioningMenus(const CommissioningMenus&) = delete;
    CommissioningMenus& operator=(const CommissioningMenus&) = delete;

    // The menus as they would open now, as popup menus that the caller destroys
    // (DestroyMenu); the grid's for a grid row (0: none). An entry's identifier is
    // CommandId of its command.
    ::HMENU GridMenu(int row);
    ::HMENU MonitorMenu();
    static UINT CommandId(tool::MenuCommand command) { return static_cast<UINT>(command); }
    static constexpr UINT CopyId = 101, SelectAllId = 102; // the monitor's editing entries

    // Runs the entry with the identifier (0: the menu was closed without a choice).
    void Choose(UINT id, int row);
    void ToggleRecording();
    void ExportGrid();
    void SaveReport();
    void OpenTrend(int row);

    // The status bar's sign, visible while the session records.
    ::HWND RecordingSign() const { return sign_; }
    // The trend window once opened (nullptr before).
    TrendWindow* Trend() const { return trend_.get(); }

    // Opens a popup menu at a point of the screen and returns the chosen identifier (0
    // for none): TrackPopupMenu unless a test sets another.
    std::function<UINT(::HMENU menu, POINT screen)> TrackMenu;
    // Asks for a file name to save to (the Save dialog unless a test sets another):
    // the title, the suggested name, the file type; "" when cancelled.
    std::function<std::string(const std::string& title, const std::string& suggested,
                              const std::string& type)>
        AskSaveName;

  private:
    void ShowMenu(const winsys::Control& control, POINT screen, int row);
    void ShowRecording(bool recording);
    void PlaceSign();
    static LRESULT CALLBACK SignProc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    winsys::TApplication& application_;
    tool::TMainForm& form_;
    FormView& view_;
    tool::TCommissioning& commissioning_;
    ::HWND sign_ = nullptr;
    ::HFONT signFont_ = nullptr;
    int statusObserver_ = 0;
    std::unique_ptr<TrendWindow> trend_;
};

} // namespace winui
