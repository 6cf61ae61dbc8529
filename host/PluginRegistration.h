// How the effect makes itself known to a host: the effect API version it is written for, which
// the property list and the registration entry report, and the registration entry itself. Hosts
// other than the one the property list is made for discover effects only through that entry.
#pragma once

#include "host/BasicSuite.h"
#include "host/EffectRecords.h"

extern "C" {

// The effect API version (major, minor) of these declarations.
enum {
    PF_PLUG_IN_VERSION = 13,
    PF_PLUG_IN_SUBVERS = 29,
    PF_AE_PLUG_IN_VERSION = 13,
    PF_AE_PLUG_IN_SUBVERS = 29,
};

// The reserved-info word the registration callback is given.
enum { AE_RESERVED_INFO = 8 };

// The kind the registration callback is given for an effect: the property list's 'eFKT'. The
// official headers pass the four characters as a literal and give them no name.
enum { kPluginDataKindEffect = 0x65464B54 };

struct PF_PluginData; // the host's, opaque
typedef struct PF_PluginData* PF_PluginDataPtr;

// Called once by the registration entry with the effect's names, its kind, the API version and
// the reserved info; the strings are NUL-terminated.
typedef A_Err (*PF_PluginDataCB2)(PF_PluginDataPtr inPtr, const A_u_char* inNamePtr,
                                  const A_u_char* inMatchNamePtr, const A_u_char* inCategoryPtr,
                                  const A_u_char* inEntryPointNamePtr, A_long inkind,
                                  A_long inApiVersionMajor, A_long inApiVersionMinor,
                                  A_long inReservedInfo, const A_u_char* inSupportURLPtr);

// The registration entry's signature, exported as "PluginDataEntryFunction2". It returns
// PF_Err_NONE when the callback returned A_Err_NONE. The official headers declare no type for it.
typedef PF_Err (*PluginDataEntryFunction2Ptr)(PF_PluginDataPtr inPtr,
                                              PF_PluginDataCB2 inPluginDataCallBackPtr,
                                              SPBasicSuite* inSPBasicSuitePtr,
                                              const char* inHostName, const char* inHostVersion);

} // extern "C"
