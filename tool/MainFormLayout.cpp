#include "tool/MainFormLayout.h"

#include <map>

namespace tool {

namespace {

constexpr Look P = Look::Plain, L = Look::Lamp, T = Look::Title;

// A left column of four frames, the meter strip along the top right, the pages
// below it and the status bar across the bottom.
const Placement Table[] = {
    {"MainForm", 0, 0, WindowWidth, WindowHeight, P},
    {"StatusBar1", 0, 586, WindowWidth, 22, P},

    // LAN module: one row per pin, its two buttons and its state
    {"Panel1", 6, 4, 324, 164, P},
    {"Button29", 10, 22, 52, 24, P},
    {"Button30", 64, 22, 52, 24, P},
    {"Label31", 122, 25, 194, 18, L},
    {"Button31", 10, 52, 52, 24, P},
    {"Button32", 64, 52, 52, 24, P},
    {"Label32", 122, 55, 194, 18, L},
    {"Button36", 10, 82, 52, 24, P},
    {"Button37", 64, 82, 52, 24, P},
    {"Label33", 122, 85, 194, 18, L},
    {"BitBtn1", 10, 122, 120, 30, P},
    {"Button9", 136, 122, 180, 30, P},

    // IP socket
    {"Panel2", 6, 174, 324, 134, P},
    {"Shape2", 4, 4, 316, 126, P},
    {"Label5", 14, 14, 84, 18, L},
    {"Label13", 104, 14, 92, 18, L},
    {"Label24", 202, 14, 106, 18, L},
    {"Label50", 14, 48, 68, 18, P},
    {"Edit4", 84, 46, 120, 22, P},
    {"Label51", 214, 48, 30, 18, P},
    {"Edit9", 246, 46, 62, 22, P},
    {"BitBtn5", 14, 88, 110, 30, P},
    {"ComboBox3", 130, 92, 62, 22, P},
    {"Label23", 200, 94, 50, 18, L},
    {"Label12", 258, 94, 50, 18, L},

    // RS485
    {"Panel3", 6, 314, 324, 134, P},
    {"Shape3", 4, 4, 316, 126, P},
    {"Label3", 14, 14, 84, 18, L},
    {"Label2", 104, 14, 92, 18, L},
    {"ComboBox1", 14, 46, 110, 22, P},
    {"ComboBox6", 130, 46, 178, 22, P},
    {"BitBtn4", 14, 88, 110, 30, P},
    {"Label18", 200, 94, 50, 18, L},
    {"Label17", 258, 94, 50, 18, L},

    // Communication framing: the shape's fill shows the framing in use
    {"Panel4", 6, 454, 324, 126, P},
    {"Shape8", 10, 24, 304, 92, P},
    {"Button35", 22, 56, 80, 28, P},
    {"Button45", 110, 56, 110, 28, P},
    {"Label47", 228, 61, 76, 18, L},

    // Meter, along the top of the right side
    {"GroupBox1", 336, 4, 691, 52, P},
    {"Label40", 12, 18, 214, 18, T},
    {"Button21", 232, 13, 80, 28, P},
    {"Label26", 332, 18, 76, 18, P},
    {"Edit2", 410, 16, 60, 22, P},
    {"Button22", 488, 13, 80, 28, P},

    // Pages; their controls sit inside the page
    {"PageControl1", 336, 60, 691, 520, P},
    {"TabSheet1", 0, 0, 0, 0, P},
    {"TabSheet2", 0, 0, 0, 0, P},
    {"TabSheet3", 0, 0, 0, 0, P},

    // "Tabella letture": the readings grid, the table buttons, the polling frame
    {"StringGrid3", 6, 6, 446, 480, P},
    {"Button40", 470, 30, 72, 26, P},
    {"Button7", 470, 66, 72, 26, P},
    {"Button46", 470, 310, 72, 26, P},
    {"GroupBox2", 462, 112, 218, 190, P},
    {"BitBtn2", 10, 24, 96, 30, P},
    {"BitBtn3", 112, 24, 96, 30, P},
    {"Button43", 10, 62, 96, 26, P},
    {"Button42", 112, 62, 96, 26, P},
    {"Label43", 10, 100, 198, 20, L},
    {"Label44", 10, 126, 198, 20, L},
    {"Label45", 10, 152, 198, 20, L},

    // "Monitor e Config": the monitor, the manual read below it, the configuration
    {"Shape4", 4, 4, 396, 384, P},
    {"GroupBox3", 10, 10, 384, 372, P},
    {"Memo2", 8, 22, 368, 342, P},
    {"Label52", 8, 402, 100, 18, P},
    {"ComboBox2", 110, 400, 80, 22, P},
    {"Label53", 200, 402, 30, 18, P},
    {"ComboBox4", 232, 400, 100, 22, P},
    {"Button47", 340, 398, 60, 26, P},
    {"Label54", 8, 434, 100, 18, P},
    {"Edit20", 110, 432, 290, 22, P},
    {"Shape1", 406, 4, 276, 482, P},
    {"GroupBox4", 412, 10, 264, 470, P},
    {"Button23", 10, 22, 118, 26, P},
    {"Button20", 136, 22, 118, 26, P},
    {"Button17", 10, 52, 118, 26, P},
    {"Button18", 136, 52, 118, 26, P},
    {"Label60", 10, 94, 130, 18, P},
    {"Edit10", 146, 92, 60, 22, P},
    {"Label61", 10, 120, 130, 18, P},
    {"Edit11", 146, 118, 60, 22, P},
    {"Label62", 10, 146, 130, 18, P},
    {"Edit12", 146, 144, 60, 22, P},
    {"Label63", 10, 172, 130, 18, P},
    {"Edit13", 146, 170, 60, 22, P},
    {"Label64", 10, 198, 130, 18, P},
    {"Edit14", 146, 196, 60, 22, P},
    {"Label65", 10, 224, 130, 18, P},
    {"Edit15", 146, 222, 90, 22, P},
    {"Label66", 10, 250, 130, 18, P},
    {"Edit16", 146, 248, 90, 22, P},
    {"Label67", 10, 276, 80, 18, P},
    {"Edit31", 92, 274, 34, 22, P},
    {"ComboBox5", 132, 274, 122, 22, P},
    {"Label68", 10, 302, 130, 18, P},
    {"Edit35", 146, 300, 108, 22, P},
    {"Label69", 10, 328, 130, 18, P},
    {"Edit36", 146, 326, 108, 22, P},
    {"Label70", 10, 354, 130, 18, P},
    {"Edit37", 146, 352, 108, 22, P},
    {"Label71", 10, 380, 130, 18, P},
    {"Edit38", 146, 378, 108, 22, P},

    // The free page: its fields are never shown
    {"GroupBox5", 6, 6, 674, 480, P},
    {"Edit8", 16, 30, 120, 22, P},
    {"Edit22", 16, 60, 120, 22, P},

    // Buttons that only the program clicks
    {"Button10", 0, 0, 75, 25, P},
    {"Button28", 0, 0, 75, 25, P},
};

const std::vector<Decoration> TheDecorations = {
    {"TabSheet1", "Tabelle valori", 462, 6, 218, 100, true},
    {"TabSheet1", "Load Table1.c mode32", 548, 34, 130, 18, false},
    {"TabSheet1", "Load Table2.c double", 548, 70, 130, 18, false},
};

} // namespace

const Placement* FindPlacement(const std::string& name) {
    static const std::map<std::string, const Placement*> byName = [] {
        std::map<std::string, const Placement*> m;
        for (const Placement& p : Table)
            m[p.name] = &p;
        return m;
    }();
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

const std::vector<Decoration>& Decorations() {
    return TheDecorations;
}

} // namespace tool
