#pragma once
// Where each control of the main window sits and how it looks, by control name: the
// geometry every front end gives the window (the Qt widgets, the native controls).
// Positions are in pixels inside the parent control's widget (for a titled frame,
// from its outer edge, title included).
#include <string>
#include <vector>

namespace tool {

enum class Look {
    Plain, // the widget as its kind draws it
    Lamp,  // a label used as a lamp: a sunken box filled with the label's colour
    Title, // a label that names its frame: bold
};

struct Placement {
    const char* name;
    int left, top, width, height;
    Look look = Look::Plain;
};

// Texts and frames that only decorate the window (no control of the model stands
// behind them); each lies beneath the controls of its parent.
struct Decoration {
    const char* parent; // a control name
    const char* text;
    int left, top, width, height;
    bool frame; // a titled frame; else a text
};

// The outer size of the main window.
constexpr int WindowWidth = 1033;
constexpr int WindowHeight = 608;

// nullptr for a name the table does not know.
const Placement* FindPlacement(const std::string& name);
const std::vector<Decoration>& Decorations();

} // namespace tool
