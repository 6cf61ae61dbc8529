// What the registration entry must hand the host's callback, written out by hand, and a callback
// that records one call. Header-only: the native loader tests and the cross-built Windows test
// host both check the entry of the loader they load against these bytes.
#pragma once

#include "host/HostApi.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace expected {

// The texts with their terminating NUL, as the callback must be able to read them.
inline constexpr char kRegisteredName[] = "Zone Painter";
inline constexpr char kRegisteredMatchName[] = "KVL_ZONE_PAINTER";
inline constexpr char kRegisteredCategory[] = "Kavello";
inline constexpr char kRegisteredEntryPoint[] = "PluginMain";
inline constexpr A_long kRegisteredKind = 0x65464B54; // 'eFKT'
inline constexpr A_long kRegisteredApiMajor = 13;
inline constexpr A_long kRegisteredApiMinor = 29;
inline constexpr A_long kRegisteredReservedInfo = 8;

// One registration callback's arguments, the texts copied with their NUL.
struct Registration {
    int calls = 0;
    const void* context = nullptr;
    std::vector<char> name, matchName, category, entryPoint;
    A_long kind = 0, apiMajor = 0, apiMinor = 0, reservedInfo = 0;
    bool supportUrlGiven = false;
    A_Err answer = A_Err_NONE; // what the callback returns
};

inline std::vector<char> copyText(const A_u_char* text) {
    if (text == nullptr)
        return {};
    const char* c = reinterpret_cast<const char*>(text);
    return std::vector<char>(c, c + std::strlen(c) + 1);
}

template <std::size_t N> std::vector<char> bytesOf(const char (&text)[N]) {
    return std::vector<char>(text, text + N);
}

// The host's callback: the opaque record it passes is a Registration here.
inline A_Err recordRegistration(PF_PluginDataPtr inPtr, const A_u_char* inNamePtr,
                                const A_u_char* inMatchNamePtr, const A_u_char* inCategoryPtr,
                                const A_u_char* inEntryPointNamePtr, A_long inkind,
                                A_long inApiVersionMajor, A_long inApiVersionMinor,
                                A_long inReservedInfo, const A_u_char* inSupportURLPtr) {
    auto* r = reinterpret_cast<Registration*>(inPtr);
    ++r->calls;
    r->context = inPtr;
    r->name = copyText(inNamePtr);
    r->matchName = copyText(inMatchNamePtr);
    r->category = copyText(inCategoryPtr);
    r->entryPoint = copyText(inEntryPointNamePtr);
    r->kind = inkind;
    r->apiMajor = inApiVersionMajor;
    r->apiMinor = inApiVersionMinor;
    r->reservedInfo = inReservedInfo;
    r->supportUrlGiven = inSupportURLPtr != nullptr;
    return r->answer;
}

// The entry's type, spelled out: the official headers declare none.
typedef PF_Err (*RegistrationEntry)(PF_PluginDataPtr, PF_PluginDataCB2, SPBasicSuite*, const char*,
                                    const char*);

} // namespace expected
