// A stand-in for the effect library in loader tests. It exports `command` like the real one;
// instead of doing effect work it records each call into the journal the test passes as the
// command's extra record, and answers with the results the journal asks for.
#pragma once

#include "host/HostApi.h"

#include <cstdint>

namespace fake {

constexpr uint32_t kJournalMagic = 0x4A5A5046; // guards against a foreign extra record

struct Call {
    PF_Cmd cmd;
    char baseName[300];    // the first argument of `command`, as received
    char libraryPath[512]; // the file this fake was loaded from
    PF_InData* inData;
    PF_OutData* outData;
    PF_ParamDef** params;
    PF_LayerDef* output;
};

struct Journal {
    uint32_t magic = kJournalMagic;
    PF_Err result = 0;              // returned for every command but global setdown
    PF_Err globalSetdownResult = 0; // returned for global setdown
    int count = 0;
    Call calls[32] = {};
};

} // namespace fake
