// The host's compute cache: values an effect computes once and shares between render threads,
// kept by the host under a key the effect derives, and the hash suite that builds such keys.
// Nothing in the cache is saved with the project, and the host may purge any value that is not
// checked out, weighing it by the size the effect reports.
#pragma once

#include "host/BasicTypes.h"

extern "C" {

// A 128-bit hash: the compute cache's key.
typedef struct {
    A_long bytes[4];
} AEGP_GUID;

typedef const char* AEGP_CCComputeClassIdP; // a globally unique class name
typedef void* AEGP_CCComputeOptionsRefconP; // everything generate_key and compute read
typedef void* AEGP_CCComputeValueRefconP;   // a value the cache owns until delete_compute_value
typedef void* AEGP_CCCheckoutReceiptP;
typedef AEGP_GUID AEGP_CCComputeKey;
typedef AEGP_GUID* AEGP_CCComputeKeyP;

// Called by the host without in_data, from whichever thread checks out: the options record must
// carry every input, and a value must own deep copies of its data.
typedef struct {
    A_Err (*generate_key)(AEGP_CCComputeOptionsRefconP optionsP, AEGP_CCComputeKeyP out_keyP);
    A_Err (*compute)(AEGP_CCComputeOptionsRefconP optionsP,
                     AEGP_CCComputeValueRefconP* out_valuePP);
    size_t (*approx_size_value)(AEGP_CCComputeValueRefconP valueP);
    void (*delete_compute_value)(AEGP_CCComputeValueRefconP valueP);
} AEGP_ComputeCacheCallbacks;

// ---------------------------------------------------------------------------------------------
// "AEGP Compute Cache" 1
#define kAEGPComputeCacheSuite "AEGP Compute Cache"
#define kAEGPComputeCacheSuiteVersion1 1

// Every successful checkout is checked in before the command that made it returns; checking in
// a receipt twice is A_Err_STRUCT and an error dialog for the user.
typedef struct AEGP_ComputeCacheSuite1 {
    A_Err (*AEGP_ClassRegister)(AEGP_CCComputeClassIdP compute_classP,
                                const AEGP_ComputeCacheCallbacks* callbacksP);
    A_Err (*AEGP_ClassUnregister)(AEGP_CCComputeClassIdP compute_classP);
    // With wait_for_other_threadB false, A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING means another
    // thread is computing the same key.
    A_Err (*AEGP_ComputeIfNeededAndCheckout)(AEGP_CCComputeClassIdP compute_classP,
                                             AEGP_CCComputeOptionsRefconP opaque_optionsP,
                                             bool wait_for_other_threadB,
                                             AEGP_CCCheckoutReceiptP* compute_receiptPP);
    // Never computes: the receipt, or A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING.
    A_Err (*AEGP_CheckoutCached)(AEGP_CCComputeClassIdP compute_classP,
                                 AEGP_CCComputeOptionsRefconP opaque_optionsP,
                                 AEGP_CCCheckoutReceiptP* compute_receiptPP);
    A_Err (*AEGP_GetReceiptComputeValue)(AEGP_CCCheckoutReceiptP compute_receiptP,
                                         AEGP_CCComputeValueRefconP* compute_valuePP);
    A_Err (*AEGP_CheckinComputeReceipt)(AEGP_CCCheckoutReceiptP compute_receiptP);
} AEGP_ComputeCacheSuite1;

// ---------------------------------------------------------------------------------------------
// "AEGP Hash Suite" 1
#define kAEGPHashSuite "AEGP Hash Suite"
#define kAEGPHashSuiteVersion1 1

typedef struct AEGP_HashSuite1 {
    A_Err (*AEGP_CreateHashFromPtr)(const A_u_longlong buf_sizeLu, const void* bufPV,
                                    AEGP_GUID* hashP);
    A_Err (*AEGP_HashMixInPtr)(const A_u_longlong buf_sizeLu, const void* bufPV, AEGP_GUID* hashP);
} AEGP_HashSuite1;

} // extern "C"
