// The dispatcher's dispatch log: the ring of timestamped events and its dump as a table
// under a header that names the library, the compiler, the system and the device.
#include "port/Dispatcher.h"

#include "port/BaseComponent.h"
#include "port/SystemText.h"
#include "port/TraceText.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iterator>

namespace port {

namespace {

constexpr int32_t TypeTextBase = 15001;
constexpr int32_t SubTypeTextBase = 15100;
constexpr uint32_t SubTypeCount = 252;
constexpr int32_t ColumnHeadingText = 15501;
constexpr int32_t ModemStatusTextBase = 15601;
constexpr int32_t TelnetOptionTextBase = 15700;
constexpr uint32_t MaxTelnetOption = 42;
// The data column begins after 44 characters of time, type, subtype and Data.
constexpr uint32_t DataColumn = 45;

const char* const StatusTypeNames[] = {
    "(Not active)",         "(Modem status)",       "(Line status)",
    "(Output buffer free)", "(Output buffer used)", "(Output sent)",
};

std::string Trim(const std::string& Text) {
    size_t first = Text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    size_t last = Text.find_last_not_of(' ');
    return Text.substr(first, last - first + 1);
}

std::string DateTimeText() {
    std::time_t now = std::time(nullptr);
    std::tm local = LocalTime(now);
    char text[32];
    std::strftime(text, sizeof text, "%d/%m/%y, %H:%M:%S", &local);
    return text;
}

void WriteLine(TTextFile& File, const std::string& Text) {
    File.Write(Text);
    File.Write('\n');
}

void WriteEntry(TTextFile& File, const TDispatchLogHeader& Entry, const std::vector<uint8_t>& Bytes,
                bool InHex, bool AllHex) {
    std::string type =
        Entry.Type <= dtScript ? MessageNumberToString(TypeTextBase + Entry.Type) : "";
    std::string subType =
        Entry.SubType < SubTypeCount ? MessageNumberToString(SubTypeTextBase + Entry.SubType) : "";
    char prefix[128];
    std::snprintf(prefix, sizeof prefix, "%8s  %-8s  %-12s  %08X  ",
                  LogTimeText(Entry.Time).c_str(), type.c_str(), subType.c_str(), Entry.Data);
    File.Write(prefix);

    if (!Bytes.empty()) {
        bool statusTrigger = (Entry.Type == dtTriggerAlloc || Entry.Type == dtTriggerDispose) &&
                             Entry.SubType == dstStatusTrigger;
        if (statusTrigger && Bytes[0] < std::size(StatusTypeNames)) {
            File.Write(StatusTypeNames[Bytes[0]]);
        } else {
            static const std::string Indent(DataColumn - 1, ' ');
            TItemWrap wrap(File, DataColumn, DataColumn, Indent);
            for (uint8_t byte : Bytes) {
                if (AllHex && Entry.Type == dtUser)
                    wrap.Item(std::string_view(reinterpret_cast<const char*>(&byte), 1));
                else
                    wrap.Item(TraceItemText(byte, InHex, AllHex));
            }
        }
        if (Entry.SubType == dstModemStatus) {
            std::string names;
            for (int bit = 0; bit < 8; ++bit)
                if (Entry.Data & (1u << bit))
                    names += MessageNumberToString(ModemStatusTextBase + bit);
            File.Write(" (" + Trim(names) + ")");
        }
    } else if (Entry.Type == dtTelnet && Entry.Data <= MaxTelnetOption) {
        File.Write(
            " [" +
            Trim(MessageNumberToString(TelnetOptionTextBase + static_cast<int32_t>(Entry.Data))) +
            "]");
    }
    File.Write('\n');
}

} // namespace

void TBaseDispatcher::AddDispatchEntry(TDispatchType Type, TDispatchSubType SubType, uint32_t Data,
                                       const void* Buffer, uint32_t BufferLen) {
    std::lock_guard lock(StateLock);
    if (!LogOn.load() || !LogRing.Exists()) return;
    TDispatchLogHeader header;
    header.Type = Type;
    header.SubType = SubType;
    header.Time = GetDispatchTime();
    header.Data = Data;
    header.Length = Buffer ? BufferLen : 0;
    LogRing.Add(header, Buffer);
}

void TBaseDispatcher::AddStringToLog(const std::string& S) {
    if (!LogActive()) return;
    AddDispatchEntry(dtUser, dstNone, 0, S.data(), static_cast<uint32_t>(S.size()));
}

int32_t TBaseDispatcher::InitDispatchLogging(uint32_t Size) {
    std::lock_guard lock(StateLock);
    if (LogRing.Exists()) {
        // Only emptied: a paused log stays paused.
        LogRing.Clear();
        return ecOK;
    }
    if (Size > MaxLogBytes) return ecBadArgument;
    if (!LogRing.Allocate(Size)) return ecOutOfMemory;
    LogScratch.reserve(std::max(InQueueSize, OutQueueSize));
    LogOn = true;
    return ecOK;
}

int32_t TBaseDispatcher::StartDispatchLogging() {
    std::lock_guard lock(StateLock);
    if (!LogRing.Exists()) return ecLoggingNotEnabled;
    LogOn = true;
    return ecOK;
}

void TBaseDispatcher::StopDispatchLogging() {
    std::lock_guard lock(StateLock);
    LogOn = false;
}

void TBaseDispatcher::ClearDispatchLogging() {
    std::lock_guard lock(StateLock);
    LogRing.Clear();
}

void TBaseDispatcher::AbortDispatchLogging() {
    std::lock_guard lock(StateLock);
    LogOn = false;
    LogRing.Release();
    LogScratch = {};
}

bool TBaseDispatcher::LogAllocated() {
    std::lock_guard lock(StateLock);
    return LogRing.Exists();
}

int32_t TBaseDispatcher::DumpDispatchLog(const std::string& FileName, bool InHex, bool AllHex) {
    return WriteDispatchLog(FileName, InHex, AllHex, false);
}

int32_t TBaseDispatcher::AppendDispatchLog(const std::string& FileName, bool InHex, bool AllHex) {
    return WriteDispatchLog(FileName, InHex, AllHex, true);
}

int32_t TBaseDispatcher::WriteDispatchLog(const std::string& FileName, bool InHex, bool AllHex,
                                          bool Append) {
    LogOn = false;
    std::lock_guard lock(StateLock);
    if (!LogRing.Exists()) return ecOK;
    if (LogRing.Empty()) {
        AbortDispatchLogging();
        return ecOK;
    }
    TTextFile file;
    int32_t result = file.Open(FileName, Append);
    // The ring is kept: the log can still be written to another file.
    if (result < 0) return result;

    WriteLine(file, std::string("KORU ") + TBaseComponent::Version());
    WriteLine(file, "Compiler : " + CompilerName());
    WriteLine(file, "Operating System : " + OperatingSystemName());
    WriteLine(file, "Device: " + DeviceName);
    WriteLine(file, "Date/time: " + DateTimeText());
    WriteLine(file, MessageNumberToString(ColumnHeadingText));
    WriteLine(file, MessageNumberToString(ColumnHeadingText + 1));

    TDispatchLogHeader entry;
    while (LogRing.TakeOldest(entry, LogScratch))
        WriteEntry(file, entry, LogScratch, InHex, AllHex);

    result = file.Close();
    AbortDispatchLogging();
    return result;
}

} // namespace port
