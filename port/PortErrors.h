#pragma once
// Error codes of the port layer, their texts and the exceptions raised for them.
//
// A code is a signed 32-bit integer: 0 is success, port operations return negative
// codes, the network layer passes the socket library's positive numbers upwards. The
// text of a code comes from MessageNumberLookup (looked up by the absolute value of
// the code's low 16 bits) or, when the table has no text, from the operating system.
//
// CheckException turns a negative code into the exception of its class (the classes
// below, or the runtime-like EInOutError / EOutOfMemory for file and device errors);
// XlatException turns an exception back into a code. Every exception derives from
// winsys::Exception, so the application's error display shows its message.
#include "winsys/Exception.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

namespace port {

class TBaseComponent;

// Codes that the port layer returns by name.
enum : int32_t {
    ecOK = 0,
    ecFileNotFound = -2,
    ecPathNotFound = -3,
    ecTooManyFiles = -4,
    ecAccessDenied = -5,
    ecInvalidHandle = -6,
    ecOutOfMemory = -8,

    ecBadHandle = -1001,
    ecBadArgument = -1002,
    ecGotQuitMsg = -1003,
    ecBufferTooBig = -1004,
    ecPortNotAssigned = -1005,
    ecInternal = -1006,
    ecModemNotAssigned = -1007,
    ecPhonebookNotAssigned = -1008,
    ecCannotUseWithWinSock = -1009,

    ecBadId = -2001,
    ecBaudRate = -2002,
    ecByteSize = -2003,
    ecDefault = -2004,
    ecHardware = -2005,
    ecMemory = -2006,
    ecCommNotOpen = -2007,
    ecAlreadyOpen = -2008,
    ecNoHandles = -2009,
    ecNoTimers = -2010,
    ecNoPortSelected = -2011,
    ecNotOpenedByTapi = -2012,

    ecNullApi = -3001,
    ecNotSupported = -3002,
    ecRegisterHandlerFailed = -3003,
    ecPutBlockFail = -3004,
    ecGetBlockFail = -3005,
    ecOutputBufferTooSmall = -3006,
    ecBufferIsEmpty = -3007,
    ecTracingNotEnabled = -3008,
    ecLoggingNotEnabled = -3009,
    ecBaseAddressNotSet = -3010,

    ecNoMoreTriggers = -5001,
    ecTriggerTooLong = -5002,
    ecBadTriggerHandle = -5003,

    // Network layer (positive).
    ecWsError = 9001,
    ecWsLoadError = 9002,
    ecWsVersionError = 9003,
    ecWsNotInit = 9004,
    ecWsInvPort = 9005,
    ecWsCantChange = 9006,
    ecWsCantResolve = 9007,

    // XlatException's result for an exception that carries no code.
    ecUnknownException = -9999,
};

// The message table: sorted by the absolute value of Code, which is unique.
struct MessageNumberLookupRecord {
    int32_t Code;
    const char* Msg;
};
constexpr std::size_t MessageNumberCount = 892;
extern const std::array<MessageNumberLookupRecord, MessageNumberCount> MessageNumberLookup;

// The longest text any lookup returns.
constexpr std::size_t MaxMessageLength = 255;

// The table's text for Code, empty when the table has none.
std::string MessageNumberToString(int32_t Code);
// The table's text, else the operating system's text for error number |Code| with
// control characters blanked and runs of blanks folded; empty when neither has one.
std::string KoruLoadStr(int32_t Code);
// KoruLoadStr copied into Dest as a zero-terminated string, cut to DestSize - 1
// characters. Returns Dest.
char* KoruLoadZ(char* Dest, std::size_t DestSize, int32_t Code);
template <std::size_t N> char* KoruLoadZ(char (&Dest)[N], int32_t Code) {
    return KoruLoadZ(Dest, N, Code);
}
inline std::string ErrorMsg(int32_t Code) {
    return KoruLoadStr(Code);
}

// The root of the port layer's exceptions.
class EPortException : public winsys::Exception {
  public:
    // ErrorCode := ErrCode, message := the text of |ErrCode|.
    explicit EPortException(int32_t ErrCode, bool Unused = false);
    // ErrorCode := 0, message := Msg.
    explicit EPortException(const std::string& Msg, uint8_t Unused = 0);
    static int32_t MapCodeToStringID(int32_t ErrCode) { return ErrCode < 0 ? -ErrCode : ErrCode; }

    int32_t ErrorCode = 0;
};

#define RVEX_PORT_EXCEPTION(Name, Base)                                                            \
    class Name : public Base {                                                                     \
      public:                                                                                      \
        using Base::Base;                                                                          \
    };

// The fourteen families.
RVEX_PORT_EXCEPTION(EGeneral, EPortException)
RVEX_PORT_EXCEPTION(EOpenComm, EPortException)
RVEX_PORT_EXCEPTION(ESerialIO, EPortException)
RVEX_PORT_EXCEPTION(ETrigger, EPortException)
RVEX_PORT_EXCEPTION(EModem, EPortException)
RVEX_PORT_EXCEPTION(EPacket, EPortException)
RVEX_PORT_EXCEPTION(EProtocol, EPortException)
RVEX_PORT_EXCEPTION(EINI, EPortException)
RVEX_PORT_EXCEPTION(EFax, EPortException)
RVEX_PORT_EXCEPTION(ETapi, EPortException)
RVEX_PORT_EXCEPTION(ERas, EPortException)
RVEX_PORT_EXCEPTION(ETerminal, EPortException)
RVEX_PORT_EXCEPTION(EXML, EPortException)
RVEX_PORT_EXCEPTION(EStateMachine, EPortException)

// clang-format off
// The classes of each family, in order.
#define RVEX_GENERAL_EXCEPTIONS(X) \
    X(EBadArgument) X(EGotQuitMsg) X(EBufferTooBig) X(EPortNotAssigned) X(EInternal) \
    X(EModemNotAssigned) X(EPhonebookNotAssigned) X(ECannotUseWithWinSock)
#define RVEX_OPENCOMM_EXCEPTIONS(X) \
    X(EBadId) X(EBaudRate) X(EByteSize) X(EDefault) X(EHardware) X(EMemory) X(ECommNotOpen) \
    X(EAlreadyOpen) X(ENoHandles) X(ENoTimers) X(ENoPortSelected) X(ENotOpenedByTapi)
#define RVEX_SERIALIO_EXCEPTIONS(X) \
    X(ENullApi) X(ERegisterHandlerFailed) X(EPutBlockFail) X(EGetBlockFail) \
    X(EOutputBufferTooSmall) X(EBufferIsEmpty) X(ETracingNotEnabled) X(ELoggingNotEnabled) \
    X(EBaseAddressNotSet)
#define RVEX_TRIGGER_EXCEPTIONS(X) \
    X(ENoMoreTriggers) X(ETriggerTooLong) X(EBadTriggerHandle)
#define RVEX_MODEM_EXCEPTIONS(X) \
    X(EModemNotStarted) X(EModemBusy) X(EModemNotDialing) X(EModemNotResponding) \
    X(EModemRejectedCommand) X(EModemStatusMismatch) X(EAlreadyDialing) X(ENotDialing) \
    X(EDeviceNotSelected) X(EModemDetectedBusy) X(ENoDialtone) X(ENoCarrier) X(ENoAnswer)
#define RVEX_PACKET_EXCEPTIONS(X) \
    X(EInvalidProperty) X(EStringSizeError)
#define RVEX_PROTOCOL_EXCEPTIONS(X) \
    X(ETimeout) X(ETooManyErrors) X(ESequenceError)
#define RVEX_INI_EXCEPTIONS(X) \
    X(EKeyTooLong) X(EDataTooLarge) X(EIniWrite) X(EIniRead) X(ERecordExists) \
    X(ERecordNotFound) X(EDatabaseFull) X(EDatabaseEmpty) X(EBadFieldList) \
    X(EBadFieldForIndex)
#define RVEX_FAX_EXCEPTIONS(X) \
    X(EFaxBadFormat) X(EBadGraphicsFormat) X(EConvertAbort) X(EUnpackAbort) \
    X(ECantMakeBitmap) X(ENoImageLoaded) X(ENoImageBlockMarked) X(EInvalidPageNumber) \
    X(EFaxBadMachine) X(EFaxBadModemResult) X(EFaxTrainError) X(EFaxInitError) X(EFaxBusy) \
    X(EFaxVoiceCall) X(EFaxDataCall) X(EFaxNoDialTone) X(EFaxNoCarrier) X(EFaxSessionError) \
    X(EFaxPageError) X(EAlreadyMonitored)
// In the order of the telephony error codes -13801 ... (without -13804 and -13849),
// then -13928 ...
#define RVEX_TAPI_EXCEPTIONS(X) \
    X(ETapiAllocated) X(ETapiBadDeviceID) X(ETapiBearerModeUnavail) X(ETapiCallUnavail) \
    X(ETapiCompletionOverrun) X(ETapiConferenceFull) X(ETapiDialBilling) \
    X(ETapiDialDialtone) X(ETapiDialPrompt) X(ETapiDialQuiet) X(ETapiIncompatibleApiVersion) \
    X(ETapiIncompatibleExtVersion) X(ETapiIniFileCorrupt) X(ETapiInUse) X(ETapiInvalAddress) \
    X(ETapiInvalAddressID) X(ETapiInvalAddressMode) X(ETapiInvalAddressState) \
    X(ETapiInvalAppHandle) X(ETapiInvalAppName) X(ETapiInvalBearerMode) \
    X(ETapiInvalCallComplMode) X(ETapiInvalCallHandle) X(ETapiInvalCallParams) \
    X(ETapiInvalCallPrivilege) X(ETapiInvalCallSelect) X(ETapiInvalCallState) \
    X(ETapiInvalCallStatelist) X(ETapiInvalCard) X(ETapiInvalCompletionID) \
    X(ETapiInvalConfCallHandle) X(ETapiInvalConsultCallHandle) X(ETapiInvalCountryCode) \
    X(ETapiInvalDeviceClass) X(ETapiInvalDeviceHandle) X(ETapiInvalDialParams) \
    X(ETapiInvalDigitList) X(ETapiInvalDigitMode) X(ETapiInvalDigits) \
    X(ETapiInvalExtVersion) X(ETapiInvalGroupID) X(ETapiInvalLineHandle) \
    X(ETapiInvalLineState) X(ETapiInvalLocation) X(ETapiInvalMediaList) \
    X(ETapiInvalMediaMode) X(ETapiInvalMessageID) X(ETapiInvalParam) X(ETapiInvalParkID) \
    X(ETapiInvalParkMode) X(ETapiInvalPointer) X(ETapiInvalPrivSelect) X(ETapiInvalRate) \
    X(ETapiInvalRequestMode) X(ETapiInvalTerminalID) X(ETapiInvalTerminalMode) \
    X(ETapiInvalTimeout) X(ETapiInvalTone) X(ETapiInvalToneList) X(ETapiInvalToneMode) \
    X(ETapiInvalTransferMode) X(ETapiLineMapperFailed) X(ETapiNoConference) X(ETapiNoDevice) \
    X(ETapiNoDriver) X(ETapiNoMem) X(ETapiNoRequest) X(ETapiNotOwner) X(ETapiNotRegistered) \
    X(ETapiOperationFailed) X(ETapiOperationUnavail) X(ETapiRateUnavail) \
    X(ETapiResourceUnavail) X(ETapiRequestOverrun) X(ETapiStructureTooSmall) \
    X(ETapiTargetNotFound) X(ETapiTargetSelf) X(ETapiUninitialized) \
    X(ETapiUserUserInfoTooBig) X(ETapiReinit) X(ETapiAddressBlocked) X(ETapiBillingRejected) \
    X(ETapiInvalFeature) X(ETapiNoMultipleInstance) X(ETapiBusy) X(ETapiNotSet) \
    X(ETapiNoSelect) X(ETapiLoadFail) X(ETapiGetAddrFail) X(ETapiUnexpected) \
    X(ETapiVoiceNotSupported) X(ETapiWaveFail) X(ETapiTranslateFail) X(EVoIPNotSupported)
#define RVEX_RAS_EXCEPTIONS(X) X(ERasLoadFail)
#define RVEX_TERMINAL_EXCEPTIONS(X) X(ETermRangeError) X(ETermInvalidParameter) X(ETermTooLarge)
// clang-format on

#define RVEX_DECLARE_GENERAL(Name) RVEX_PORT_EXCEPTION(Name, EGeneral)
#define RVEX_DECLARE_OPENCOMM(Name) RVEX_PORT_EXCEPTION(Name, EOpenComm)
#define RVEX_DECLARE_SERIALIO(Name) RVEX_PORT_EXCEPTION(Name, ESerialIO)
#define RVEX_DECLARE_TRIGGER(Name) RVEX_PORT_EXCEPTION(Name, ETrigger)
#define RVEX_DECLARE_MODEM(Name) RVEX_PORT_EXCEPTION(Name, EModem)
#define RVEX_DECLARE_PACKET(Name) RVEX_PORT_EXCEPTION(Name, EPacket)
#define RVEX_DECLARE_PROTOCOL(Name) RVEX_PORT_EXCEPTION(Name, EProtocol)
#define RVEX_DECLARE_INI(Name) RVEX_PORT_EXCEPTION(Name, EINI)
#define RVEX_DECLARE_FAX(Name) RVEX_PORT_EXCEPTION(Name, EFax)
#define RVEX_DECLARE_TAPI(Name) RVEX_PORT_EXCEPTION(Name, ETapi)
#define RVEX_DECLARE_RAS(Name) RVEX_PORT_EXCEPTION(Name, ERas)
#define RVEX_DECLARE_TERMINAL(Name) RVEX_PORT_EXCEPTION(Name, ETerminal)

RVEX_GENERAL_EXCEPTIONS(RVEX_DECLARE_GENERAL)
RVEX_OPENCOMM_EXCEPTIONS(RVEX_DECLARE_OPENCOMM)
RVEX_SERIALIO_EXCEPTIONS(RVEX_DECLARE_SERIALIO)
RVEX_TRIGGER_EXCEPTIONS(RVEX_DECLARE_TRIGGER)
RVEX_MODEM_EXCEPTIONS(RVEX_DECLARE_MODEM)
RVEX_PACKET_EXCEPTIONS(RVEX_DECLARE_PACKET)
RVEX_PROTOCOL_EXCEPTIONS(RVEX_DECLARE_PROTOCOL)
RVEX_INI_EXCEPTIONS(RVEX_DECLARE_INI)
RVEX_FAX_EXCEPTIONS(RVEX_DECLARE_FAX)
RVEX_TAPI_EXCEPTIONS(RVEX_DECLARE_TAPI)
RVEX_RAS_EXCEPTIONS(RVEX_DECLARE_RAS)
RVEX_TERMINAL_EXCEPTIONS(RVEX_DECLARE_TERMINAL)

// A document parser's errors; not raised by the port layer.
RVEX_PORT_EXCEPTION(EStreamError, EXML)
RVEX_PORT_EXCEPTION(EFilterError, EStreamError)
RVEX_PORT_EXCEPTION(EParserError, EFilterError)

// Outside the tree: errors of the network layer, carrying the socket library's number
// (or one of the network layer's 9001 to 9021).
class ESocketException : public winsys::Exception {
  public:
    // message := the text of ErrCode.
    explicit ESocketException(int32_t ErrCode, int32_t Unused1 = 0, int32_t Unused2 = 0);
    // The socket library could not be used: "Winsock not initialized - " followed by
    // the text of ErrCode.
    ESocketException(int32_t ErrCode, const char* Unused);

    int32_t ErrorCode = 0;
};

class EPagerException : public winsys::Exception {
  public:
    EPagerException(int32_t ErrCode, const std::string& Msg);
    int32_t ErrorCode = 0;
};

class EGSMPhoneException : public winsys::Exception {
  public:
    EGSMPhoneException(int32_t ErrCode, const std::string& Msg);
    int32_t ErrorCode = 0;
};

// The file and device errors (codes -2 to -162 but -8): ErrorCode is the positive
// error number.
class EInOutError : public winsys::Exception {
  public:
    EInOutError(int32_t ErrCode, const std::string& Msg);
    int32_t ErrorCode = 0;
};

// Code -8.
class EOutOfMemory : public winsys::Exception {
  public:
    explicit EOutOfMemory(const std::string& Msg);
};

// Returns Code. A negative Code raises its exception, unless Component is being loaded
// from its stored form (Component may be null).
int32_t CheckException(const TBaseComponent* Component, int32_t Code);
// The code an exception stands for: its ErrorCode for the port layer's classes, the
// negated number of an EInOutError, -8 for running out of memory, else -9999.
int32_t XlatException(const std::exception& E);

} // namespace port
