#pragma once
// The commissioning record on screen, without touching the main window's controls:
// the context menus of the readings grid and of the monitor, the sign in the status
// bar while the session records, the trend window and the report as PDF.
//
// Grid menu: "Registra sessione" (checked while recording), "Esporta tabella CSV...",
// "Rapporto di collaudo...", "Trend" (the row under the pointer). Monitor menu: the
// memo's own entries, then "Registra sessione" and "Rapporto di collaudo...".
// Failures show in the application's error display. Window thread only.
#include "tool/Commissioning.h"
#include "tool/CommissioningMenu.h"
#include "ui/FormView.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QMenu;
class QPoint;

namespace ui {

class TrendWindow;

class CommissioningMenus {
  public:
    CommissioningMenus(winsys::TApplication& application, FormView& view,
                       tool::TCommissioning& commissioning);
    ~CommissioningMenus();
    CommissioningMenus(const CommissioningMenus&) = delete;
    CommissioningMenus& operator=(const CommissioningMenus&) = delete;

    // The menus as they would open now; the grid's for the given grid row (0: none).
    std::unique_ptr<QMenu> GridMenu(int row);
    std::unique_ptr<QMenu> MonitorMenu();
    // The status bar's sign, shown while the session records.
    QLabel* RecordingSign() const { return sign_; }
    // The trend window once opened (nullptr before).
    TrendWindow* Trend() const { return trend_.get(); }

    // Asks for a file name to save to (a file dialog unless a test sets another):
    // the dialog's title, the suggested name and the filter; "" when cancelled.
    std::function<QString(const QString& title, const QString& suggested, const QString& filter)>
        AskSaveName;

    // The actions behind the entries; Choose runs the entry's.
    void Choose(tool::MenuCommand command, int row);
    void ToggleRecording();
    void ExportGrid();
    void SaveReport();
    void OpenTrend(int row);
    // Writes the report as PDF through Qt's printing; raises winsys::Exception when
    // the file cannot be written.
    void WriteReportPdf(const QString& path);

  private:
    void AddEntries(QMenu& menu, const std::vector<tool::MenuEntry>& entries, int row);
    void ShowRecording(bool recording);
    template <class Step> void Guarded(Step&& step);

    winsys::TApplication& application_;
    FormView& view_;
    tool::TCommissioning& commissioning_;
    QLabel* sign_ = nullptr;
    std::unique_ptr<TrendWindow> trend_;
};

} // namespace ui
