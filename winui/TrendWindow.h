#pragma once
// The live trend in a native window of its own: grid rows' values against time, one
// series per row, a point for every good reading of the row while the window is
// shown. GDI draws the axes with their time and value marks, one line in its own
// colour per series with a dot per point, and a legend; "Salva PNG..." writes the
// chart as a PNG image (GDI+). What is plotted is a tool::TrendPlot; this only draws.
//
// Closing the window hides it: it plots nothing more, and the menus start a new one.
// Window thread only. The commissioning record and the grid outlive the window.
#include "tool/Commissioning.h"
#include "tool/TrendPlot.h"
#include "winsys/Controls.h"
#include "winsys/Win32.h"

#include <functional>
#include <string>

namespace winui {

class TrendWindow {
  public:
    TrendWindow(tool::TCommissioning& commissioning, const winsys::TStringGrid& grid, ::HWND owner);
    ~TrendWindow();
    TrendWindow(const TrendWindow&) = delete;
    TrendWindow& operator=(const TrendWindow&) = delete;

    // Adds the grid row as a series (named by its number, address, OBIS code and
    // note); a row already plotted is left as it is.
    void AddRow(int row);
    const tool::TrendPlot& Plot() const { return plot_; }
    ::HWND Window() const { return window_; }
    void Show();
    bool Visible() const;

    // Draws the chart into dc over width x height pixels.
    void Render(::HDC dc, int width, int height) const;
    // Writes the chart as the window shows it as a PNG image; false when the file
    // cannot be written.
    bool SavePng(const std::string& path) const;
    // The colour of the series at an index (the colours repeat after eight).
    static COLORREF SeriesColor(size_t index);
    // Asks for the PNG file's name (the Save dialog unless a test sets another).
    std::function<std::string()> AskPngName;

  private:
    void Plotted(int row, double value, tool::WallTime at);
    void SaveAsked();
    static LRESULT CALLBACK Proc(::HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Message(UINT msg, WPARAM wParam, LPARAM lParam);

    tool::TCommissioning& commissioning_;
    const winsys::TStringGrid& grid_;
    tool::TrendPlot plot_;
    int observer_ = 0;
    ::HWND window_ = nullptr;
    ::HWND save_ = nullptr;
    ::HFONT font_ = nullptr;
};

} // namespace winui
