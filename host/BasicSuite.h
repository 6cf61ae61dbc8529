// The host's suite broker (in_data->pica_basicP): every other suite is asked for by name and
// version number through it, and given back under the same name and version.
#pragma once

#include "host/BasicTypes.h"

extern "C" {

typedef A_long SPErr;
typedef unsigned char SPBoolean;

#define kSPBasicSuite "SP Basic Suite"
#define kSPBasicSuiteVersion 4

typedef struct SPBasicSuite {
    // Success is 0 with a non-null table in *suite.
    SPErr (*AcquireSuite)(const char* name, int version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int version);
    SPBoolean (*IsEqual)(const char* token1, const char* token2);
    SPErr (*AllocateBlock)(size_t size, void** block);
    SPErr (*FreeBlock)(void* block);
    SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
    SPErr (*Undefined)(void);
} SPBasicSuite;

} // extern "C"
