// The host's fixed-width basic types. Every record the plug-in exchanges with the host is built
// from these, which is why Windows x64 and Linux x86-64 give the records the same layout.
#pragma once

#ifdef ZP_HOST_SDK
#error "host/ declarations must not be used in a build against the official headers"
#endif

#include <cstddef>
#include <cstdint>

extern "C" {

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef unsigned char A_Boolean;
typedef A_long A_Err;
typedef double A_FpLong;
typedef float A_FpShort;
typedef int64_t A_longlong;
typedef uint64_t A_u_longlong;
typedef A_u_longlong A_HandleSize;

typedef struct {
    A_long value;
    A_u_long scale;
} A_Time;

typedef struct {
    A_long num;
    A_u_long den;
} A_Ratio;

typedef struct {
    A_FpLong left, top, right, bottom;
} A_FloatRect;

typedef struct {
    A_FpLong mat[4][4];
} A_Matrix4;

enum {
    A_Err_NONE = 0,
    A_Err_STRUCT = 2,                     // a record or receipt the host does not know
    A_Err_WRONG_THREAD = 5,               // a host call from a thread the host did not call us on
    A_Err_CONST_PROJECT_MODIFICATION = 6, // a change to a project opened read-only
    A_Err_MISSING_SUITE = 13,
    A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING = 22, // no cached value, or another thread computes it
};

} // extern "C"
