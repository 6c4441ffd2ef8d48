#pragma once
// The text pieces the trace and dispatch log files are made of: the file itself, the
// rendering of one data byte, the wrap of items at column 78, the entry time, and the
// descriptions of the build and the running system in the log header.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace port {

// The negated file error number for an errno value. The numbers the message table
// knows as file errors are used where they fit (2 file not found, 3 path not found,
// 4 too many open files, 5 access denied, 101 disk full, 150 write-protected, 160
// device write error), so the raised exception reads right; any other errno is passed
// on, unless its number would take a wrong text from the table (then 162, general
// failure).
int32_t FileErrorCode(int Errno);
// The part of FileErrorCode every platform shares: the mapping of errno alone.
int32_t ErrnoFileErrorCode(int Errno);

// A text file written through a 512-byte buffer. Writes after a failure are dropped;
// the first error is what Close reports.
class TTextFile {
  public:
    TTextFile() = default;
    ~TTextFile();
    TTextFile(const TTextFile&) = delete;
    TTextFile& operator=(const TTextFile&) = delete;

    // Replaces the file, or with Append adds to its end (creating it when missing).
    // 0 or FileErrorCode of the failure.
    int32_t Open(const std::string& FileName, bool Append);
    void Write(std::string_view Text);
    void Write(char C) { Write(std::string_view(&C, 1)); }
    // 0, or FileErrorCode of the first failed write or of the close.
    int32_t Close();

  private:
    std::FILE* File = nullptr;
    char Buffer[512];
    int FirstError = 0;
};

// One data byte as the dumps show it. With AllHex "[" + two upper-case hex digits +
// "]". Otherwise a byte below the threshold (32, or 33 with InHex so that a space shows
// as [20]) or above '~' is "[" + its hex digits (InHex) or its decimal value + "]";
// any other byte is the character itself.
std::string TraceItemText(uint8_t Byte, bool InHex, bool AllHex);

// Writes items and breaks the line before an item that would take the column count
// past 78. After a break the count restarts at Restart plus the item's width, and the
// new line begins with Indent.
class TItemWrap {
  public:
    TItemWrap(TTextFile& File, uint32_t Column, uint32_t Restart, std::string_view Indent)
        : File(File), Column(Column), Restart(Restart), Indent(Indent) {}
    void Item(std::string_view Text);
    void Reset(uint32_t NewColumn) { Column = NewColumn; }

  private:
    TTextFile& File;
    uint32_t Column;
    uint32_t Restart;
    std::string_view Indent;
};

// An entry's time: the milliseconds as at least seven digits with a "." before the
// last three (1234 gives "0001.234").
std::string LogTimeText(uint32_t Ms);
// The compiler the port layer was built with, e.g. "GCC 12.2.0".
std::string CompilerName();
// The running system: its name, major.minor of its release, a space and the rest of
// its version description, as uname reports them.
std::string OperatingSystemName();

} // namespace port
