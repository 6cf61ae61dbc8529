// Built as a library of its own; loader tests copy it next to a loader as its effect library.
#include "tests/loader/FakeEffect.h"

#include <cstdio>
#include <dlfcn.h>

extern "C" __attribute__((visibility("default"))) PF_Err
command(const char* base_name, PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
        PF_ParamDef* params[], PF_LayerDef* output, void* extra) {
    auto* journal = static_cast<fake::Journal*>(extra);
    if (journal == nullptr || journal->magic != fake::kJournalMagic)
        return PF_Err_NONE;
    const bool full =
        journal->count >= static_cast<int>(sizeof journal->calls / sizeof(fake::Call));
    if (!full) {
        fake::Call& call = journal->calls[journal->count++];
        call.cmd = cmd;
        std::snprintf(call.baseName, sizeof call.baseName, "%s",
                      base_name != nullptr ? base_name : "(null)");
        Dl_info info{};
        const bool found = dladdr(reinterpret_cast<void*>(&command), &info) != 0;
        std::snprintf(call.libraryPath, sizeof call.libraryPath, "%s",
                      found && info.dli_fname != nullptr ? info.dli_fname : "");
        call.inData = in_data;
        call.outData = out_data;
        call.params = params;
        call.output = output;
    }
    return cmd == PF_Cmd_GLOBAL_SETDOWN ? journal->globalSetdownResult : journal->result;
}
