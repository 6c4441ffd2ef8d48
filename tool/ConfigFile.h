#pragma once
// The start-up configuration file "Config1.c": a free text in which each setting is a
// key (spelled with its colon) followed by its value. Keys are found anywhere in the
// text and the first occurrence of each counts.
//
// The reader works on a buffer and touches no window or port, so it can be driven by
// the tests and the fuzzer directly; Button23Click reads the file and applies what
// the reader yields, in its order (ConfigFileLoad.cpp).
#include "port/ComPortInterface.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tool {

// The working areas: the file's text with room for its terminating zero, and one word
// of at most 19 characters with its terminating zero.
constexpr int ConfigFileTextSize = 2000;
constexpr int ValueTextSize = 20;

// The number after the first occurrence of key within the first length bytes of text,
// or -1 when the key is not there. Of the 21 characters after the key, blanks and tabs
// are dropped, ";" or a zero byte ends the value, and the rest is converted as the C
// runtime's decimal long conversion does (leading white space and a sign allowed, the
// first non-digit ends it, no digit gives 0). The result saturates at the limits of a
// signed 32-bit long, as that conversion does on overflow. Nothing at or beyond
// text[length] is read.
int32_t ReadNumberAfterKey(const char* text, const char* key, int length);

enum class TWordRead {
    Missing, // the key is not there: ValueText is left as it was
    Read,    // ValueText holds the whole word
    Cut,     // the word had 20 characters or more: ValueText holds its first 19
};

// The word after the first occurrence of key within the first length bytes of text,
// into ValueText (zero-filled first). The word starts right after the key, its first
// character taken whatever it is, and ends before the first blank, CR, LF or zero byte
// that follows that character. A word never holds CR or LF: a key directly followed
// by CR or LF gives an empty word. Nothing at or beyond text[length] is read.
TWordRead ReadTextAfterKey(const char* text, const char* key, int length,
                           char (&ValueText)[ValueTextSize]);

struct TConfigWord {
    bool found = false; // the key is in the text; when not, the field keeps its text
    bool cut = false;   // the word was cut to 19 characters
    std::string text;
};

// What one reading of the configuration text yields, key by key. A missing numeric
// key gives -1.
struct TConfigReading {
    int32_t ModAdd = -1, Mod485 = -1, Cont485 = -1, ContTime = -1, Spare = -1;
    int32_t Serie1 = -1, Serie2 = -1, Baudrate = -1, DDBBGG = -1;
    TConfigWord Var1, Var2, Var3;
    int32_t Delta1 = -1, Delta2 = -1, TimerT3 = -1;
    TConfigWord IpTest;
    int32_t RciPort = -1; // the raw number of "RCI_Port:"
    // The text held 2000 bytes or more: only its first 1999 were read.
    bool textCut = false;
};

// Reads the settings from the first 1999 bytes of data (size bytes, zero bytes
// included), as they stand in the 2000-byte ConfigFileText with a zero after them.
TConfigReading ReadConfigText(const char* data, size_t size);

// One row of the line settings that "Baudrate:" selects (BaudIndex 1 to 8).
struct TLineSetting {
    int32_t baud;
    uint16_t dataBits;
    port::TParity parity;
    uint16_t stopBits;
};
// Index 0 ("No Baudrate") is never applied; only BaudIndex 1 to 8 select a row.
extern const TLineSetting LineSettingTable[9];

} // namespace tool
