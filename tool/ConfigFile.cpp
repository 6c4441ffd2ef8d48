#include "tool/ConfigFile.h"

#include "tool/DecimalText.h"
#include "tool/FindKeyEnd.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace tool {

const TLineSetting LineSettingTable[9] = {
    {0, 0, port::pNone, 0}, // "No Baudrate": never applied
    {9600, 8, port::pNone, 1},  {9600, 8, port::pNone, 2},  {9600, 8, port::pEven, 1},
    {9600, 8, port::pOdd, 1},   {19200, 8, port::pNone, 1}, {19200, 8, port::pNone, 2},
    {19200, 8, port::pEven, 1}, {19200, 8, port::pOdd, 1},
};

namespace {

constexpr int NumberWindow = 21;

} // namespace

int32_t ReadNumberAfterKey(const char* text, const char* key, int length) {
    int p = FindKeyEnd(text, key, length);
    if (p < 0) return -1;
    char scratch[NumberWindow + 1] = {};
    int kept = 0;
    for (int i = 0; i < NumberWindow && p + i < length; ++i) {
        char c = text[p + i];
        if (c == ';' || c == '\0') break;
        if (c != ' ' && c != '\t') scratch[kept++] = c;
    }
    return DecimalToLong(scratch);
}

TWordRead ReadTextAfterKey(const char* text, const char* key, int length,
                           char (&ValueText)[ValueTextSize]) {
    int p = FindKeyEnd(text, key, length);
    if (p < 0) return TWordRead::Missing;
    std::memset(ValueText, 0, sizeof ValueText);
    auto ends = [](char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\0'; };
    if (p >= length || text[p] == '\r' || text[p] == '\n' || text[p] == '\0')
        return TWordRead::Read;
    int i = 0;
    ValueText[i++] = text[p];
    while (p + i < length && !ends(text[p + i])) {
        if (i == ValueTextSize - 1) return TWordRead::Cut;
        ValueText[i] = text[p + i];
        ++i;
    }
    return TWordRead::Read;
}

TConfigReading ReadConfigText(const char* data, size_t size) {
    char ConfigFileText[ConfigFileTextSize] = {};
    constexpr size_t room = ConfigFileTextSize - 1;
    const size_t kept = size < room ? size : room;
    std::memcpy(ConfigFileText, data, kept);
    const char* t = ConfigFileText;
    // The zeros after the kept bytes can neither hold a key nor continue a value, so
    // searching the kept bytes alone finds what searching all 2000 would.
    const int n = static_cast<int>(kept);

    TConfigReading r;
    r.textCut = size > room;
    r.ModAdd = ReadNumberAfterKey(t, "ModAdd:", n);
    r.Mod485 = ReadNumberAfterKey(t, "Mod485:", n);
    r.Cont485 = ReadNumberAfterKey(t, "Cont485:", n);
    r.ContTime = ReadNumberAfterKey(t, "ContTime:", n);
    r.Spare = ReadNumberAfterKey(t, "Spare:", n);
    r.Serie1 = ReadNumberAfterKey(t, "Serie_1:", n);
    r.Serie2 = ReadNumberAfterKey(t, "Serie_2:", n);
    r.Baudrate = ReadNumberAfterKey(t, "Baudrate:", n);
    r.DDBBGG = ReadNumberAfterKey(t, "DDBBGG:", n);
    auto word = [&](const char* key) {
        char ValueText[ValueTextSize] = {};
        TConfigWord w;
        TWordRead how = ReadTextAfterKey(t, key, n, ValueText);
        w.found = how != TWordRead::Missing;
        w.cut = how == TWordRead::Cut;
        w.text = ValueText;
        return w;
    };
    r.Var1 = word("Var1:");
    r.Var2 = word("Var2:");
    r.Var3 = word("Var3:");
    r.Delta1 = ReadNumberAfterKey(t, "Delta_1:", n);
    r.Delta2 = ReadNumberAfterKey(t, "Delta_2:", n);
    r.TimerT3 = ReadNumberAfterKey(t, "Timer_T3:", n);
    r.IpTest = word("IP_TEST:");
    r.RciPort = ReadNumberAfterKey(t, "RCI_Port:", n);
    return r;
}

} // namespace tool
