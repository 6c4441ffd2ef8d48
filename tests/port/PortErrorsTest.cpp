#include "port/PortErrors.h"
#include "port/BaseComponent.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <set>

using namespace port;

TEST(MessageTable, IsSortedByAbsoluteCodeWithoutDuplicatesAndEveryRowIsFound) {
    std::set<int32_t> seen;
    int32_t previous = -1;
    for (const MessageNumberLookupRecord& row : MessageNumberLookup) {
        int32_t value = std::abs(row.Code);
        EXPECT_GT(value, previous) << row.Code;
        previous = value;
        // The binary search finds every row, by either sign.
        EXPECT_EQ(MessageNumberToString(row.Code), row.Msg) << row.Code;
        EXPECT_EQ(MessageNumberToString(-row.Code), row.Msg) << row.Code;
    }
    EXPECT_EQ(MessageNumberToString(7), "");     // between -6 and -8
    EXPECT_EQ(MessageNumberToString(15743), ""); // past the end
}

TEST(MessageTable, QuotedTexts) {
    struct Row {
        int32_t code;
        const char* text;
    } rows[] = {
        {0, "OK"},
        {-2, "File not found"},
        {-162, "General failure"},
        {-1009, "Component not compatible with WinSock"},
        {-2001, "ie_BadId - Specified comport doesn't exist"},
        {-2011, "The ComNumber property of the TComPort has not been set"},
        {-3006, "Output buffer too small for block"},
        {-5003, "Bad trigger handle"},
        {9004, "Winsock not initialized - %s"},
        {10061, "The attempt to connect was forcibly refused"},
        {11004, "Valid name, but no data record of requested type"},
        {15001, "No event"},
        {15020, "User"},
        {15100, ""},
        {15101, "ReadCom"},
        {15129, "Sent Term"},
        {15502, "--------  --------  ------------  --------  ---------"},
        {15608, "DCD "},
        {15700, "Binary"},
        {15742, "Character Set"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(MessageNumberToString(row.code), row.text) << row.code;
    // The lookup uses the low 16 bits of the code.
    EXPECT_EQ(MessageNumberToString(0x10000 + 9001), "Marvane Error");
}

TEST(KoruLoadStr, IgnoresTheSignAndFallsBackToTheSystemText) {
    EXPECT_EQ(KoruLoadStr(-2001), "ie_BadId - Specified comport doesn't exist");
    EXPECT_EQ(KoruLoadStr(2001), "ie_BadId - Specified comport doesn't exist");
    // 13 has no table row at all: the operating system's text is used (the platform's
    // own texts are checked in PortErrors<platform>Test.cpp).
    EXPECT_FALSE(KoruLoadStr(-13).empty());
    EXPECT_EQ(ErrorMsg(-3007), "Buffer is empty");
}

TEST(KoruLoadStr, KoruLoadZNeverOverrunsItsDestination) {
    char small[8];
    std::memset(small, 'x', sizeof small);
    KoruLoadZ(small, -3006);
    EXPECT_STREQ(small, "Output ");
    char whole[256];
    EXPECT_STREQ(KoruLoadZ(whole, -3006), "Output buffer too small for block");
}

namespace {

struct Raised {
    int32_t code;
    std::function<bool(const std::exception&)> isClass;
    int32_t errorCode; // of the exception
    std::string message;
    int32_t xlat; // XlatException of it
};

template <class E> std::function<bool(const std::exception&)> Is() {
    return [](const std::exception& e) { return dynamic_cast<const E*>(&e) != nullptr; };
}

template <class E> int32_t CodeOf(const std::exception& e) {
    auto* typed = dynamic_cast<const E*>(&e);
    return typed ? typed->ErrorCode : INT32_MIN;
}

} // namespace

TEST(CheckException, RaisesTheClassOfEachCodeAndXlatExceptionGivesItBack) {
    const Raised rows[] = {
        {-1002, Is<EBadArgument>(), -1002, "Bad argument passed to function", -1002},
        {-1009, Is<ECannotUseWithWinSock>(), -1009, "Component not compatible with WinSock", -1009},
        {-1006, Is<EInternal>(), -1006, "Internal error creating window class", -1006},
        {-7012, Is<EInternal>(), -7012, KoruLoadStr(7012), -7012},
        {-2001, Is<EBadId>(), -2001, "ie_BadId - Specified comport doesn't exist", -2001},
        {-2008, Is<EAlreadyOpen>(), -2008, "ie_Open - device already open", -2008},
        {-2012, Is<ENotOpenedByTapi>(), -2012, "Comport was not opened by Tapi", -2012},
        {-3001, Is<ENullApi>(), -3001, "No device layer specified", -3001},
        {-3004, Is<EPutBlockFail>(), -3004, "Failed to put entire block", -3004},
        {-3006, Is<EOutputBufferTooSmall>(), -3006, "Output buffer too small for block", -3006},
        {-3007, Is<EBufferIsEmpty>(), -3007, "Buffer is empty", -3007},
        {-3010, Is<EBaseAddressNotSet>(), -3010, "Base address not set", -3010},
        {-4004, Is<ENotDialing>(), -4004, KoruLoadStr(4004), -4004},
        {-4008, Is<EModemStatusMismatch>(), -4008, KoruLoadStr(4008), -4008},
        {-5001, Is<ENoMoreTriggers>(), -5001, "No more trigger slots", -5001},
        {-5003, Is<EBadTriggerHandle>(), -5003, "Bad trigger handle", -5003},
        {-6008, Is<EProtocol>(), -6008, KoruLoadStr(6008), -6008},
        {-7014, Is<EBadFieldForIndex>(), -7014, KoruLoadStr(7014), -7014},
        {-8005, Is<ECantMakeBitmap>(), -8005, KoruLoadStr(8005), -8005},
        {-8053, Is<EInvalidPageNumber>(), -8053, KoruLoadStr(8053), -8053},
        {-8070, Is<EFaxPageError>(), -8070, KoruLoadStr(8070), -8070},
        {-13801, Is<ETapiAllocated>(), -13801, KoruLoadStr(13801), -13801},
        {-13805, Is<ETapiCallUnavail>(), -13805, KoruLoadStr(13805), -13805},
        {-13850, Is<ETapiInvalParam>(), -13850, KoruLoadStr(13850), -13850},
        {-13886, Is<ETapiNoMultipleInstance>(), -13886, KoruLoadStr(13886), -13886},
        {-13928, Is<ETapiBusy>(), -13928, KoruLoadStr(13928), -13928},
        {-13932, Is<ETapiGetAddrFail>(), -13932, KoruLoadStr(13932), -13932},
        {-13942, Is<ETapiTranslateFail>(), -13942, KoruLoadStr(13942), -13942},
        {-13980, Is<ERasLoadFail>(), -13980, KoruLoadStr(13980), -13980},
        // Codes without a class of their own.
        {-1001, Is<EPortException>(), 0, "Koru exception", 0},
        {-3002, Is<EPortException>(), 0, "Koru exception", 0},
        {-6001, Is<EPortException>(), 0, "Koru exception", 0},
        {-9007, Is<EPortException>(), 0, "Koru exception", 0},
        {-13804, Is<EPortException>(), 0, "Koru exception", 0},
    };
    for (const Raised& row : rows) {
        try {
            CheckException(nullptr, row.code);
            ADD_FAILURE() << row.code << " raised nothing";
        } catch (const std::exception& e) {
            EXPECT_TRUE(row.isClass(e)) << row.code << ": " << typeid(e).name();
            EXPECT_EQ(CodeOf<EPortException>(e), row.errorCode) << row.code;
            EXPECT_EQ(e.what(), row.message) << row.code;
            EXPECT_EQ(XlatException(e), row.xlat) << row.code;
            EXPECT_NE(dynamic_cast<const winsys::Exception*>(&e), nullptr) << row.code;
        }
    }
}

TEST(CheckException, FileAndDeviceErrorsRaiseTheInputOutputAndMemoryClasses) {
    try {
        CheckException(nullptr, -2);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File not found");
        EXPECT_EQ(e.ErrorCode, 2);
        EXPECT_EQ(XlatException(e), -2);
    }
    try {
        CheckException(nullptr, -161);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 161);
        EXPECT_STREQ(e.what(), "Device read error");
    }
    try {
        CheckException(nullptr, -8);
        FAIL();
    } catch (const EOutOfMemory& e) {
        EXPECT_EQ(XlatException(e), -8);
    }
    EXPECT_EQ(XlatException(std::bad_alloc()), -8);
    EXPECT_EQ(XlatException(std::runtime_error("other")), -9999);
}

TEST(CheckException, ReturnsItsArgumentForSuccessAndWhileTheComponentLoads) {
    TBaseComponent component;
    EXPECT_EQ(CheckException(&component, 0), 0);
    EXPECT_EQ(CheckException(&component, 5), 5);
    component.ComponentState = TBaseComponent::csLoading;
    EXPECT_EQ(CheckException(&component, 5), 5);
    EXPECT_EQ(CheckException(&component, -3006), -3006);
    component.ComponentState = 0;
    EXPECT_THROW(CheckException(&component, -3006), EOutputBufferTooSmall);
}

TEST(PortExceptions, ConstructorsAndTheSocketLayersForms) {
    EPortException fromText("Something failed");
    EXPECT_EQ(fromText.ErrorCode, 0);
    EXPECT_STREQ(fromText.what(), "Something failed");
    EXPECT_EQ(EPortException::MapCodeToStringID(-3006), 3006);

    ESocketException refused(10061, 0, 0);
    EXPECT_EQ(refused.ErrorCode, 10061);
    EXPECT_STREQ(refused.what(), "The attempt to connect was forcibly refused");

    ESocketException notInitialised(9002, "");
    EXPECT_EQ(notInitialised.ErrorCode, 9002);
    EXPECT_STREQ(notInitialised.what(), "Winsock not initialized - Error loading Winsock DLL");
    EXPECT_EQ(XlatException(notInitialised), -9999);
}
