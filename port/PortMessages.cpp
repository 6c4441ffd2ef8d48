// The message table. It is built at compile time from runs of consecutive codes, in
// ascending order of the absolute code; rows whose feature this system does not have
// (modem, dialer, phone book, telephony, fax, file transfer, settings database, state
// machine) carry no text, so their lookup falls back to the operating system.
#include "port/PortErrors.h"

#include <cstddef>

namespace port {

namespace {

constexpr const char* GeneralTexts[] = {
    "Bad handle passed to com function",
    "Bad argument passed to function",
    "Got quit message",
    "Terminal buffer greater than 65521",
    "ComPort component not assigned",
    "Internal error creating window class",
    "Modem component not assigned",
    "Phonebook component not assigned",
    "Component not compatible with WinSock",
};

constexpr const char* OpenTexts[] = {
    "ie_BadId - Specified comport doesn't exist",
    "ie_Baudrate - unsupported baud rate",
    "ie_Bytesize - invalid byte size",
    "ie_Default - error in default parameters",
    "ie_Hardware - Specified comport in use",
    "ie_Memory - unable to allocate queues",
    "ie_NOpen - device not open",
    "ie_Open - device already open",
    "No more handles, can't open port",
    "No timers available",
    "The ComNumber property of the TComPort has not been set",
    "Comport was not opened by Tapi",
};

constexpr const char* SerialIOTexts[] = {
    "No device layer specified",
    "Function not supported by driver",
    "EnableCommNotification failed",
    "Failed to put entire block",
    "Failed to get entire block",
    "Output buffer too small for block",
    "Buffer is empty",
    "Tracing not enabled",
    "Logging not enabled",
    "Base address not set",
};

constexpr const char* TriggerTexts[] = {
    "No more trigger slots",
    "Data trigger too long",
    "Bad trigger handle",
};

constexpr const char* NetworkTexts[] = {
    "Marvane Error",
    "Error loading Winsock DLL",
    "Incorrect version of Winsock",
    "Winsock not initialized - %s",
    "Specified port is not valid",
    "Cannot change parameter while socket is connected",
    "Cannot resolve destination address",
};

constexpr const char* FileTexts2to6[] = {
    "File not found",     "Path not found",      "Too many open files",
    "File access denied", "Invalid file handle",
};

constexpr const char* FileTexts100to105[] = {
    "Attempt to read beyond end of file", "Disk is full",
    "File/device not assigned",           "File/device not open",
    "File/device not open for input",     "File/device not open for output",
};

constexpr const char* FileTexts150to162[] = {
    "Disk is write-protected",
    "Unknown disk unit",
    "Drive is not ready",
    "Unknown command",
    "Data error",
    "Bad request structure length",
    "Seek error",
    "Unknown media type",
    "Disk sector not found",
    "Printer is out of paper",
    "Device write error",
    "Device read error",
    "General failure",
};

constexpr const char* SocketTexts10035to10071[] = {
    "Warning : the socket would block on this call",
    "A blocking call is in progress",
    "WSAEALREADY: watch out, Al is ready",
    "Socket descriptor is (1) not a socket, or (2) is of wrong type",
    "The destination address is required for this operation",
    "The datagram was too large to fit into the buffer and was truncated",
    "WSAEPROTOTYPE",
    "The option is unknown or not supported",
    "Either (1) not enough buffer space to create socket (2) protocol not supported",
    "Specified socket type not supported in this address family",
    "Operation is not supported by this socket",
    "Specified protocol family is not supported",
    "Specified address family is not supported by this protocol",
    "The address is already in use for this operation",
    "The address is not available from this machine",
    "The network subsystem has failed",
    "The network is unreachable from this machine at this time",
    "The network has been reset",
    "The virtual circuit has been aborted due to timeout, etc",
    "The virtual circuit has been reset by the partner",
    "The descriptor is not a socket, or no buffer space is available",
    "The socket is already connected",
    "The socket is not connected",
    "The socket has been shutdown",
    "WSAETOOMANYREFS",
    "The operation timed out",
    "The attempt to connect was forcibly refused",
    "WSAELOOP: see WSAELOOP",
    "The name is too long",
    "The host machine is down",
    "The host machine is unreachable",
    "WSAENOTEMPTY",
    "WSAEPROCLIM",
    "WSAEUSERS",
    "WSAEDQUOT",
    "WSAESTALE",
    "WSAEREMOTE",
};

constexpr const char* SocketTexts10091to10093[] = {
    "Network subsystem unusable",
    "Version requested by WSAStartUp not supported by loaded Winsock DLL",
    "WSAStartUp not yet called",
};

constexpr const char* SocketTexts11001to11004[] = {
    "Host not found",
    "Host not found, or SERVERFAIL, can try again",
    "Non recoverable errors, FORMERR, REFUSED, NOTIMP",
    "Valid name, but no data record of requested type",
};

constexpr const char* DispatchTypeTexts[] = {
    "No event", "Dispatch", "Trigger",  "Error",  "Thread", "TrigAllc", "TrigDisp",
    "TrgHdAlc", "TrgHdDsp", "TrDatChg", "Telnet", "Fax",    "XModem",   "YModem",
    "ZModem",   "Kermit",   "Ascii",    "BPlus",  "Packet", "User",     "Script",
};

constexpr const char* DispatchSubTypeTexts[] = {
    "",          "ReadCom",    "WriteCom",  "Line status", "Modem status", "Avail",
    "Timer",     "Data",       "Status",    "Start",       "Exit",         "Sleep",
    "Wake",      "Data",       "Timer",     "Status",      "Avail",        "Window",
    "Procedure", "Method",     "Sent WILL", "Sent WON'T",  "Sent DO",      "Sent DON'T",
    "Recv WILL", "Recv WON'T", "Recv DO",   "Recv DON'T",  "Command",      "Sent Term",
};

constexpr const char* LogHeadingTexts[] = {
    "Time      Type      SubType       Data      OtherData",
    "--------  --------  ------------  --------  ---------",
};

constexpr const char* ModemStatusTexts[] = {
    "DCTS ", "DDSR ", "TERI ", "DDCD ", "CTS ", "DSR ", "RI ", "DCD ",
};

constexpr const char* TelnetOptionTexts[] = {
    "Binary",
    "Echo",
    "Reconnection",
    "Supress Go Ahead",
    "Approx Msg Size",
    "Status",
    "Timing Mark",
    "Remote Trans & Echo",
    "Output Line Width",
    "Output Page Size",
    "Output C/R Disp",
    "Output Horz Tabs",
    "Output Horz Tab Disp",
    "Output FF Disp",
    "Output Vert Tabs",
    "Output Vert Tab Disp",
    "Output Linefeed Disp",
    "Extended ASCII",
    "Logout",
    "Byte Macro",
    "Data Entry Terminal",
    "SUPDUP",
    "SUPDUP Output",
    "Send Location",
    "Terminal Type",
    "End of Record",
    "TACACS User ID",
    "Output Marking",
    "Terminal Loc Num",
    "Telnet3270 Regime",
    "X.3 PAD",
    "Neg Window Size",
    "Terminal Speed",
    "Flow Control",
    "LineMode",
    "X Display Location",
    "Environment",
    "Authentication",
    "Telnet code 38",
    "New Environment",
    "Telnet code 40",
    "Telnet code 41",
    "Character Set",
};

struct Run {
    int32_t sign;  // +1 or -1
    int32_t first; // absolute values, first <= last
    int32_t last;
    const char* const* texts; // last - first + 1 texts, or nullptr for empty texts
    std::size_t textCount;
};

template <std::size_t N>
constexpr Run Texts(int32_t sign, int32_t first, int32_t last, const char* const (&texts)[N]) {
    return Run{sign, first, last, texts, N};
}
constexpr Run Text(int32_t code, const char* const& text) {
    return Run{code < 0 ? -1 : 1, code < 0 ? -code : code, code < 0 ? -code : code, &text, 1};
}
constexpr Run Empty(int32_t sign, int32_t first, int32_t last) {
    return Run{sign, first, last, nullptr, 0};
}

constexpr const char* OkText = "OK";
constexpr const char* FileText8 = "Insufficient memory";
constexpr const char* FileText15 = "Invalid drive";
constexpr const char* FileText18 = "No more files";
constexpr const char* SocketText10004 = "Interrupted function call";
constexpr const char* SocketText10009 = "Bad file number";
constexpr const char* SocketText10013 = "Permission denied";
constexpr const char* SocketText10014 = "Unknown error";
constexpr const char* SocketText10022 = "Invalid argument";
constexpr const char* SocketText10024 = "Too many open files";
constexpr const char* SocketText10101 = "WSAEDISCON";
constexpr const char* EmptyText = "";

constexpr Run Runs[] = {
    Text(0, OkText),
    Texts(-1, 2, 6, FileTexts2to6),
    Text(-8, FileText8),
    Text(-15, FileText15),
    Text(-18, FileText18),
    Texts(-1, 100, 105, FileTexts100to105),
    Texts(-1, 150, 162, FileTexts150to162),
    Texts(-1, 1001, 1009, GeneralTexts),
    Texts(-1, 2001, 2012, OpenTexts),
    Texts(-1, 3001, 3010, SerialIOTexts),
    Empty(-1, 4001, 4017), // modem
    Empty(-1, 4020, 4021),
    Empty(+1, 4101, 4101), // phone book, dialer, remote access, paging, file transfer, fax status
    Empty(+1, 4200, 4213),
    Empty(+1, 4301, 4312),
    Empty(+1, 4401, 4403),
    Empty(+1, 4500, 4523),
    Empty(+1, 4550, 4553),
    Empty(+1, 4599, 4611),
    Empty(+1, 4630, 4633),
    Empty(+1, 4660, 4671),
    Empty(+1, 4700, 4728),
    Empty(+1, 4730, 4730),
    Empty(+1, 4801, 4808),
    Empty(+1, 4820, 4828),
    Empty(+1, 4830, 4832),
    Empty(+1, 4840, 4843),
    Texts(-1, 5001, 5003, TriggerTexts),
    Empty(-1, 5501, 5506), // packet component
    Empty(-1, 6001, 6016), // file transfer protocols
    Empty(-1, 7001, 7014), // settings database
    Empty(-1, 7500, 7502), // state machine
    Empty(-1, 8001, 8005), // fax, printer driver, mobile phone
    Empty(-1, 8050, 8055),
    Empty(-1, 8060, 8075),
    Empty(-1, 8080, 8083),
    Empty(-1, 8085, 8085),
    Empty(-1, 8087, 8092),
    Empty(-1, 8100, 8103),
    Empty(-1, 8300, 8305),
    Empty(-1, 8310, 8318),
    Empty(-1, 8320, 8322),
    Empty(-1, 8330, 8332),
    Empty(-1, 8340, 8340),
    Empty(-1, 8500, 8500),
    Texts(+1, 9001, 9007, NetworkTexts),
    Text(10000, EmptyText),
    Text(10004, SocketText10004),
    Text(10009, SocketText10009),
    Text(10013, SocketText10013),
    Text(10014, SocketText10014),
    Text(10022, SocketText10022),
    Text(10024, SocketText10024),
    Texts(+1, 10035, 10071, SocketTexts10035to10071),
    Texts(+1, 10091, 10093, SocketTexts10091to10093),
    Text(10101, SocketText10101),
    Texts(+1, 11001, 11004, SocketTexts11001to11004),
    Empty(+1, 13501, 13516), // telephony status
    Empty(+1, 13533, 13557),
    Empty(+1, 13565, 13565),
    Empty(+1, 13597, 13601),
    Empty(+1, 13650, 13670),
    Empty(-1, 13801, 13803), // telephony service and remote access errors
    Empty(-1, 13805, 13848),
    Empty(-1, 13850, 13886),
    Empty(-1, 13928, 13932),
    Empty(+1, 13933, 13933),
    Empty(-1, 13934, 13945),
    Empty(-1, 13950, 13959),
    Empty(-1, 13980, 13980),
    Texts(+1, 15001, 15021, DispatchTypeTexts),
    Texts(+1, 15100, 15129, DispatchSubTypeTexts),
    Empty(+1, 15130, 15351), // states of protocols this system does not have
    Texts(+1, 15501, 15502, LogHeadingTexts),
    Texts(+1, 15601, 15608, ModemStatusTexts),
    Texts(+1, 15700, 15742, TelnetOptionTexts),
};

constexpr bool RunsAreSound() {
    int32_t previous = -1;
    for (const Run& run : Runs) {
        if (run.first <= previous || run.last < run.first) return false;
        if (run.texts && run.textCount != static_cast<std::size_t>(run.last - run.first + 1))
            return false;
        previous = run.last;
    }
    return true;
}
static_assert(RunsAreSound(), "message runs must ascend without overlap and match their texts");

constexpr std::size_t CountCodes() {
    std::size_t count = 0;
    for (const Run& run : Runs)
        count += static_cast<std::size_t>(run.last - run.first + 1);
    return count;
}
static_assert(CountCodes() == MessageNumberCount, "the message table has 892 rows");

constexpr std::array<MessageNumberLookupRecord, MessageNumberCount> BuildTable() {
    std::array<MessageNumberLookupRecord, MessageNumberCount> table{};
    std::size_t row = 0;
    for (const Run& run : Runs) {
        for (int32_t code = run.first; code <= run.last; ++code) {
            const char* text = run.texts ? run.texts[code - run.first] : "";
            table[row++] = MessageNumberLookupRecord{run.sign * code, text};
        }
    }
    return table;
}

} // namespace

constexpr std::array<MessageNumberLookupRecord, MessageNumberCount> MessageNumberLookup =
    BuildTable();

} // namespace port
