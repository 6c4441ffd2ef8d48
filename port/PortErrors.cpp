#include "port/PortErrors.h"

#include "port/SystemText.h"

#include "port/BaseComponent.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace port {

namespace {

int32_t AbsoluteLow16(int32_t Code) {
    auto low = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(Code) & 0xFFFFu));
    return low < 0 ? -int32_t{low} : int32_t{low};
}

std::string Cut(const char* text) {
    std::size_t length = std::strlen(text);
    return std::string(text, length < MaxMessageLength ? length : MaxMessageLength);
}

// The operating system's text for an error number, or empty.
std::string SystemText(int64_t number) {
    if (number > INT32_MAX) return {};
    const std::string text = SystemErrorText(static_cast<int>(number));
    std::string result;
    for (const char* p = text.c_str(); *p && result.size() < MaxMessageLength; ++p) {
        char c = static_cast<unsigned char>(*p) < 32 ? ' ' : *p;
        if (c == ' ' && !result.empty() && result.back() == ' ') continue;
        result.push_back(c);
    }
    while (!result.empty() && result.back() == ' ')
        result.pop_back();
    return result;
}

template <class E> [[noreturn]] void Raise(int32_t Code) {
    throw E(Code);
}
using Raiser = void (*)(int32_t);

#define RVEX_RAISER(Name) &Raise<Name>,
constexpr Raiser OpenCommRaisers[] = {RVEX_OPENCOMM_EXCEPTIONS(RVEX_RAISER)};
constexpr Raiser TapiRaisers[] = {RVEX_TAPI_EXCEPTIONS(RVEX_RAISER)};
#undef RVEX_RAISER
static_assert(std::size(OpenCommRaisers) == 12);
static_assert(std::size(TapiRaisers) == 94);

// -13801 to -13886 without -13804 and -13849 take the first 84 telephony classes.
constexpr int32_t TapiFirstRunCount = 84;
constexpr int32_t TapiBusyIndex = TapiFirstRunCount; // ETapiBusy follows them

constexpr Raiser SerialIORaisers[] = {
    &Raise<ERegisterHandlerFailed>, &Raise<EPutBlockFail>,      &Raise<EGetBlockFail>,
    &Raise<EOutputBufferTooSmall>,  &Raise<EBufferIsEmpty>,     &Raise<ETracingNotEnabled>,
    &Raise<ELoggingNotEnabled>,     &Raise<EBaseAddressNotSet>,
};
constexpr Raiser ModemRaisers[] = {
    &Raise<EModemNotStarted>,      &Raise<EModemBusy>,           &Raise<EModemNotDialing>,
    &Raise<ENotDialing>,           &Raise<EAlreadyDialing>,      &Raise<EModemNotResponding>,
    &Raise<EModemRejectedCommand>, &Raise<EModemStatusMismatch>,
};
constexpr Raiser FaxRaisers8060[] = {
    &Raise<EFaxBadMachine>,   &Raise<EFaxBadModemResult>, &Raise<EFaxTrainError>,
    &Raise<EFaxInitError>,    &Raise<EFaxBusy>,           &Raise<EFaxVoiceCall>,
    &Raise<EFaxDataCall>,     &Raise<EFaxNoDialTone>,     &Raise<EFaxNoCarrier>,
    &Raise<EFaxSessionError>, &Raise<EFaxPageError>,
};
constexpr Raiser FaxRaisers8001[] = {
    &Raise<EFaxBadFormat>, &Raise<EBadGraphicsFormat>, &Raise<EConvertAbort>,
    &Raise<EUnpackAbort>,  &Raise<ECantMakeBitmap>,
};

// The exception for a code of the class table, or nothing.
Raiser RaiserFor(int32_t Code) {
    switch (Code) {
    case -1002:
        return &Raise<EBadArgument>;
    case -1003:
        return &Raise<EGotQuitMsg>;
    case -1004:
        return &Raise<EBufferTooBig>;
    case -1005:
        return &Raise<EPortNotAssigned>;
    case -1007:
        return &Raise<EModemNotAssigned>;
    case -1008:
        return &Raise<EPhonebookNotAssigned>;
    case -1009:
        return &Raise<ECannotUseWithWinSock>;
    case -1006:
    case -7003:
    case -7006:
    case -7012:
        return &Raise<EInternal>;
    case -3001:
        return &Raise<ENullApi>;
    case -5001:
        return &Raise<ENoMoreTriggers>;
    case -5002:
        return &Raise<ETriggerTooLong>;
    case -5003:
        return &Raise<EBadTriggerHandle>;
    case -6006:
    case -6008:
    case -6009:
        return &Raise<EProtocol>;
    case -7001:
        return &Raise<EKeyTooLong>;
    case -7002:
        return &Raise<EDataTooLarge>;
    case -7004:
        return &Raise<EIniWrite>;
    case -7005:
        return &Raise<EIniRead>;
    case -7007:
        return &Raise<ERecordExists>;
    case -7008:
        return &Raise<ERecordNotFound>;
    case -7010:
        return &Raise<EDatabaseFull>;
    case -7011:
        return &Raise<EDatabaseEmpty>;
    case -7013:
        return &Raise<EBadFieldList>;
    case -7014:
        return &Raise<EBadFieldForIndex>;
    case -8053:
        return &Raise<EInvalidPageNumber>;
    case -13935:
        return &Raise<ETapiVoiceNotSupported>;
    case -13936:
        return &Raise<ETapiWaveFail>;
    case -13942:
        return &Raise<ETapiTranslateFail>;
    case -13980:
        return &Raise<ERasLoadFail>;
    default:
        break;
    }
    if (Code <= -2001 && Code >= -2012) return OpenCommRaisers[-2001 - Code];
    if (Code <= -3003 && Code >= -3010) return SerialIORaisers[-3003 - Code];
    if (Code <= -4001 && Code >= -4008) return ModemRaisers[-4001 - Code];
    if (Code <= -8001 && Code >= -8005) return FaxRaisers8001[-8001 - Code];
    if (Code <= -8060 && Code >= -8070) return FaxRaisers8060[-8060 - Code];
    if (Code <= -13801 && Code >= -13886 && Code != -13804 && Code != -13849) {
        int32_t index = -13801 - Code;
        if (Code < -13804) --index;
        if (Code < -13849) --index;
        return TapiRaisers[index];
    }
    if (Code <= -13928 && Code >= -13932) return TapiRaisers[TapiBusyIndex + (-13928 - Code)];
    return nullptr;
}

std::string ReplaceFirstPercentS(const std::string& format, const std::string& text) {
    std::size_t at = format.find("%s");
    if (at == std::string::npos) return format;
    return format.substr(0, at) + text + format.substr(at + 2);
}

} // namespace

std::string MessageNumberToString(int32_t Code) {
    int32_t key = AbsoluteLow16(Code);
    int32_t low = 0;
    int32_t high = static_cast<int32_t>(MessageNumberCount) - 1;
    while (low <= high) {
        int32_t sum = low + high;
        int32_t middle = sum / 2;
        // The midpoint rounded to the nearest integer, halves to even.
        if (sum % 2 != 0 && middle % 2 != 0) ++middle;
        const MessageNumberLookupRecord& record =
            MessageNumberLookup[static_cast<std::size_t>(middle)];
        int32_t value = record.Code < 0 ? -record.Code : record.Code;
        if (value == key) return Cut(record.Msg);
        if (value > key)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return {};
}

std::string KoruLoadStr(int32_t Code) {
    std::string text = MessageNumberToString(Code);
    if (!text.empty()) return text;
    return SystemText(Code < 0 ? -int64_t{Code} : int64_t{Code});
}

char* KoruLoadZ(char* Dest, std::size_t DestSize, int32_t Code) {
    if (!Dest || DestSize == 0) return Dest;
    std::string text = KoruLoadStr(Code);
    std::size_t length = text.size() < DestSize - 1 ? text.size() : DestSize - 1;
    std::memcpy(Dest, text.data(), length);
    Dest[length] = '\0';
    return Dest;
}

EPortException::EPortException(int32_t ErrCode, bool)
    : winsys::Exception(KoruLoadStr(MapCodeToStringID(ErrCode))), ErrorCode(ErrCode) {}

EPortException::EPortException(const std::string& Msg, uint8_t)
    : winsys::Exception(Msg), ErrorCode(0) {}

ESocketException::ESocketException(int32_t ErrCode, int32_t, int32_t)
    : winsys::Exception(KoruLoadStr(ErrCode)), ErrorCode(ErrCode) {}

ESocketException::ESocketException(int32_t ErrCode, const char*)
    : winsys::Exception(ReplaceFirstPercentS(KoruLoadStr(ecWsNotInit), KoruLoadStr(ErrCode))),
      ErrorCode(ErrCode) {}

EPagerException::EPagerException(int32_t ErrCode, const std::string& Msg)
    : winsys::Exception(Msg), ErrorCode(ErrCode) {}

EGSMPhoneException::EGSMPhoneException(int32_t ErrCode, const std::string& Msg)
    : winsys::Exception(Msg), ErrorCode(ErrCode) {}

EInOutError::EInOutError(int32_t ErrCode, const std::string& Msg)
    : winsys::Exception(Msg), ErrorCode(ErrCode) {}

EOutOfMemory::EOutOfMemory(const std::string& Msg) : winsys::Exception(Msg) {}

int32_t CheckException(const TBaseComponent* Component, int32_t Code) {
    if (Code >= 0 || (Component && Component->IsLoading())) return Code;
    if (Raiser raise = RaiserFor(Code)) raise(Code);
    if (Code <= -2 && Code >= -162) {
        std::string text = KoruLoadStr(-Code);
        if (Code == ecOutOfMemory) throw EOutOfMemory(text);
        throw EInOutError(-Code, text);
    }
    throw EPortException(std::string("Koru exception"));
}

int32_t XlatException(const std::exception& E) {
    if (auto* portError = dynamic_cast<const EPortException*>(&E)) return portError->ErrorCode;
    if (auto* ioError = dynamic_cast<const EInOutError*>(&E)) return -ioError->ErrorCode;
    if (dynamic_cast<const EOutOfMemory*>(&E) || dynamic_cast<const std::bad_alloc*>(&E))
        return ecOutOfMemory;
    return ecUnknownException;
}

} // namespace port
